"""Prints what a mail reader sees of one received message, as JSON."""
import email
import email.policy
import hashlib
import json
import sys

with open(sys.argv[1], "rb") as f:
    msg = email.message_from_binary_file(f, policy=email.policy.default)
out = {
    "to": msg["To"],
    "from": msg["From"],
    "bcc": msg["Bcc"],
    "subject": str(msg["Subject"]),
    "date": msg["Date"] is not None,
    "message_id": msg["Message-ID"] is not None,
    "mailer": msg["X-Mailer"],
    "content_type": msg.get_content_type(),
    "html": None,
    "text": None,
    "attachments": [],
}
for part in msg.walk():
    if part.is_multipart():
        continue
    if part.get_content_disposition() == "attachment":
        data = part.get_payload(decode=True)
        out["attachments"].append({"name": part.get_filename(), "type": part.get_content_type(),
                                   "sha256": hashlib.sha256(data).hexdigest()})
    elif part.get_content_type() == "text/html":
        out["html"] = part.get_content()
    elif part.get_content_type() == "text/plain":
        out["text"] = part.get_content()
print(json.dumps(out))
