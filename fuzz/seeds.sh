#!/bin/sh
# Makes the seed corpora of the fuzz targets in BUILD/corpus/TARGET: the kinds of files the
# tests make (Python's csv module, openpyxl, xlwt, hand-built OpenDocument, the invoices of
# the test generator, signed and zipped). Usage: fuzz/seeds.sh [BUILD] (default build-fuzz).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build-fuzz}
corpus=$build/corpus
mkdir -p "$corpus"
for t in delimited xls xlsx ods fatturapa p7m zip ricevuta; do mkdir -p "$corpus/$t"; done

"$build/fuzz-seeds" "$corpus"

/usr/bin/python3 - "$corpus" <<'PY'
import csv, datetime, io, sys, zipfile, os
corpus = sys.argv[1]

def write(path, data):
    with open(os.path.join(corpus, path), 'wb') as f:
        f.write(data)

# Delimited text: the first byte picks the delimiter (0 ';', 1 ',', 2 tab).
for enc, name in (('utf-8', 'utf8'), ('utf-8-sig', 'bom'), ('cp1252', 'cp1252')):
    buf = io.StringIO()
    w = csv.writer(buf, delimiter=';', lineterminator='\r\n')
    w.writerow(['Ragione Sociale', 'Località', 'Note', 'Mail'])
    w.writerow(['Società Rossi; & C.', 'Forlì', 'dice "ok" per € 10\nseconda riga', 'a@b.it'])
    w.writerow(['Bianchi', '', '', ''])
    write('delimited/%s.csv' % name, b'\x00' + buf.getvalue().encode(enc))
write('delimited/utf16.csv', b'\x01' + b'\xff\xfe' + 'NUMERO,DATA\r\n1,"01/02/2013"\r\n'.encode('utf-16-le'))
write('delimited/tab.txt', b'\x02' + b'a\t"b\tc"\t\n\n1\t2\t3\n')

# Certified-mail receipts: daticert.xml in base64 and quoted-printable, the original message
# beside it, folded and odd-case headers; and a daticert.xml alone.
import base64, quopri
dc = ('<?xml version="1.0" encoding="UTF-8"?><postacert tipo="avvenuta-consegna" errore="nessuno"><intestazione>'
      '<mittente>a@pec.it</mittente><destinatari tipo="certificato">b@pec.it</destinatari><oggetto>Sollecito &amp; '
      'mora</oggetto></intestazione><dati><gestore-emittente>GESTORE</gestore-emittente><data zona="+0200"><giorno>'
      '15/07/2027</giorno><ora>10:30:00</ora></data><identificativo>opec.1@pec.it</identificativo><msgid>&lt;x@pec.it&gt;'
      '</msgid><ricevuta tipo="completa"/><consegna>b@pec.it</consegna><errore-esteso>5.1.1 - x</errore-esteso></dati>'
      '</postacert>').encode()
write('ricevuta/daticert.xml', dc)
for cte, body in (('base64', base64.encodebytes(dc)), ('quoted-printable', quopri.encodestring(dc))):
    write('ricevuta/%s.eml' % cte, b'x-ricevuta: avvenuta-consegna\r\nX-Riferimento-Message-ID:\r\n <x@PEC.it>\r\n'
          b'Subject: =?UTF-8?Q?CONSEGNA:_=C3=A8?=\r\nDate: Thu, 15 Jul 2027 10:30:01 +0200\r\n'
          b'Content-Type: multipart/signed; protocol="application/pkcs7-signature"; boundary="s"\r\n\r\n--s\r\n'
          b'Content-Type: multipart/mixed; boundary=m\r\n\r\n--m\r\nContent-Type: text/plain\r\n\r\nRicevuta\r\n'
          b'--m\r\nContent-Type: application/xml; name*=UTF-8\'\'daticert.xml\r\nContent-Transfer-Encoding: ' +
          cte.encode() + b'\r\n\r\n' + body + b'\r\n--m\r\nContent-Type: message/rfc822\r\n\r\nSubject: o\r\n\r\nx\r\n'
          b'--m--\r\n--s\r\nContent-Type: application/pkcs7-signature; name=smime.p7s\r\n\r\nAAAA\r\n--s--\r\n')

# .xlsx from openpyxl, whole and as its parts (sheet, strings, styles, workbook, relations).
import openpyxl
wb = openpyxl.Workbook()
ws = wb.active
ws.append(['Numero Fattura', 'Data', 'Importo', 'Cliente', 'Pagata'])
ws.append([1, datetime.datetime(2013, 3, 1), 1234.5, 'Società Rossi €', True])
ws.append(['2/A', datetime.datetime(2013, 3, 1, 10, 30), -100, '  Bianchi ', False])
ws['F3'] = '=C3*2'
ws.cell(row=3, column=3).number_format = '#,##0.00 [$€-410]'
buf = io.BytesIO()
wb.save(buf)
write('xlsx/openpyxl.xlsx', buf.getvalue())
z = zipfile.ZipFile(io.BytesIO(buf.getvalue()))
def part(n):
    try:
        return z.read(n)
    except KeyError:
        return b''
write('xlsx/parts-openpyxl', b'\x00'.join([part('xl/worksheets/sheet1.xml'), part('xl/sharedStrings.xml'),
                                           part('xl/styles.xml'), part('xl/workbook.xml'),
                                           part('xl/_rels/workbook.xml.rels')]))
write('xlsx/parts-odd', b'\x00'.join([
    b'<worksheet><sheetData><row r="1"><c t="s"><v>0</v></c><c t="s"><v>9</v></c></row>'
    b'<row r="2"><c s="1"><v>39872</v></c><c t="inlineStr"><is><r><t>Caf</t></r><r><t>fe</t></r></is></c>'
    b'<c r="E2" t="e"><v>#DIV/0!</v></c><c><f>A1</f></c></row><row r="4"><c t="b"><v>1</v></c>'
    b'<c t="d"><v>2013-03-01T00:00:00</v></c></row></sheetData></worksheet>',
    b'<sst><si><t>Numero</t></si><si><r><t>Ra</t></r><rPh><t>x</t></rPh></si></sst>',
    b'<styleSheet><numFmts><numFmt numFmtId="170" formatCode="[$-410]d\\ mmmm\\ yyyy;@"/></numFmts>'
    b'<cellXfs><xf numFmtId="0"/><xf numFmtId="170"/></cellXfs></styleSheet>']))

# .xls from xlwt, with formulas.
import xlwt
wb = xlwt.Workbook(encoding='utf-8')
ws = wb.add_sheet('Fatture')
ws.write(1, 1, 'Numero'); ws.write(1, 2, datetime.date(2013, 3, 1), xlwt.easyxf(num_format_str='DD/MM/YYYY'))
ws.write(2, 1, 7); ws.write(2, 3, 1234.5); ws.write(2, 4, xlwt.Formula('D3*2')); ws.write(3, 1, 'Società')
wb.add_sheet('Secondo').write(0, 0, 'NO')
buf = io.BytesIO()
wb.save(buf)
write('xls/xlwt.xls', buf.getvalue())
# Shared strings over several CONTINUE records, some split between two, in 8 and 16 bits.
wb = xlwt.Workbook(encoding='utf-8')
ws = wb.add_sheet('Clienti')
for i in range(400):
    ws.write(i, 0, ('Societ\u00e0 %d ' % i) * (1 + i % 7))
    ws.write(i, 1, 'Cliente %d \u20ac' % i if i % 3 else i * 1.25)
buf = io.BytesIO()
wb.save(buf)
write('xls/xlwt-sst.xls', buf.getvalue())

# .ods content as the tests write it, whole and as content.xml alone.
content = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content '
  'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
  'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
  'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"><office:body><office:spreadsheet>'
  '<table:table table:name="Primo"><table:table-row><table:table-cell office:value-type="string">'
  '<text:p>Ragione Sociale</text:p></table:table-cell><table:table-cell table:number-columns-repeated="2"/>'
  '<table:table-cell office:value-type="float" office:value="1234.5"><text:p>1.234,50</text:p></table:table-cell>'
  '</table:table-row><table:table-row table:number-rows-repeated="2"><table:table-cell office:value-type="string">'
  '<text:p>Uno<text:s text:c="3"/>due<text:tab/><text:line-break/></text:p><text:p>tre</text:p>'
  '<office:annotation><text:p>c</text:p></office:annotation></table:table-cell>'
  '<table:table-cell office:value-type="date" office:date-value="2013-03-01T10:30:00"/>'
  '<table:table-cell office:value-type="time" office:time-value="PT10H30M00S"/>'
  '<table:table-cell office:value-type="boolean" office:boolean-value="true"/></table:table-row>'
  '<table:table-row table:number-rows-repeated="1048571"><table:table-cell table:number-columns-repeated="16384"/>'
  '</table:table-row></table:table></office:spreadsheet></office:body></office:document-content>').encode()
write('ods/content.xml', content)
buf = io.BytesIO()
with zipfile.ZipFile(buf, 'w') as zo:
    zo.writestr(zipfile.ZipInfo('mimetype'), 'application/vnd.oasis.opendocument.spreadsheet')
    zo.writestr('content.xml', content, compress_type=zipfile.ZIP_DEFLATED)
write('ods/calc.ods', buf.getvalue())
PY
# .xls as LibreOffice saves it (formula results with their STRING records, MULRK, styles with
# date and zero-padded formats, shared strings in 16 bits over CONTINUE records, 1904 dates, a
# chart embedded in the sheet, encryption under the default password) and as Gnumeric saves
# it in Excel 5/95; when they are installed.
if command -v soffice >/dev/null 2>&1; then
    tmp=$(mktemp -d)
    /usr/bin/python3 - "$tmp" <<'PY'
import sys, os
tmp = sys.argv[1]
def cell(v, t='float', style=None, formula=None):
    a = (' table:style-name="%s"' % style if style else '') + (' table:formula="%s"' % formula if formula else '')
    if formula: return '<table:table-cell%s/>' % a
    if t == 'string': return '<table:table-cell%s office:value-type="string"><text:p>%s</text:p></table:table-cell>' % (a, v)
    if t == 'date': return '<table:table-cell%s office:value-type="date" office:date-value="%s"/>' % (a, v)
    return '<table:table-cell%s office:value-type="%s" office:value="%s"/>' % (a, t, v)
rows = [[cell('Numero', 'string'), cell('Data', 'string'), cell('CAP', 'string'), cell('Cliente', 'string')]]
for i in range(1, 30):
    rows.append([cell(i), cell('2013-03-%02dT10:30:00' % (i % 28 + 1), 'date', 'dt'), cell(184 + i, style='cap'),
                 cell('Societ\u00e0 %d \u20ac' % i, 'string'), cell(i * 1.25), cell(-i * 100),
                 cell(None, formula='of:=CONCATENATE(&quot;X&quot;;[.A%d])' % (i + 1)),
                 cell(None, formula='of:=[.A%d]&gt;9' % (i + 1)), cell(None, formula='of:=1/([.A%d]-3)' % (i + 1)),
                 cell(None, formula='of:=IF([.A%d]&gt;9;&quot;&quot;;[.E%d])' % (i + 1, i + 1))])
rows.append([cell('\u00e0\u00e8\u00ec\u00f2\u00f9\u20ac ' * 700, 'string')])
def doc(null_date):
    return ('<?xml version="1.0" encoding="UTF-8"?><office:document '
      'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
      'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
      'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
      'xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" '
      'xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" office:version="1.2" '
      'office:mimetype="application/vnd.oasis.opendocument.spreadsheet"><office:automatic-styles>'
      '<number:date-style style:name="N1"><number:day number:style="long"/><number:text>/</number:text>'
      '<number:month number:style="long"/><number:text>/</number:text><number:year number:style="long"/>'
      '</number:date-style><number:number-style style:name="N2"><number:number number:decimal-places="0" '
      'number:min-integer-digits="5"/></number:number-style>'
      '<style:style style:name="dt" style:family="table-cell" style:data-style-name="N1"/>'
      '<style:style style:name="cap" style:family="table-cell" style:data-style-name="N2"/>'
      '</office:automatic-styles><office:body><office:spreadsheet>' +
      ('<table:calculation-settings><table:null-date table:date-value="%s"/></table:calculation-settings>' % null_date
       if null_date else '') + '<table:table table:name="Primo">' +
      ''.join('<table:table-row>%s</table:table-row>' % ''.join(r) for r in rows) +
      '</table:table><table:table table:name="Secondo"><table:table-row>' + cell('NO', 'string') +
      '</table:table-row></table:table></office:spreadsheet></office:body></office:document>')
open(os.path.join(tmp, 'libreoffice.fods'), 'w').write(doc(None))
open(os.path.join(tmp, 'libreoffice-1904.fods'), 'w').write(doc('1904-01-01'))
try:
    import openpyxl
    from openpyxl.chart import BarChart, Reference
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.append(['Nome', 'Valore'])
    for i in range(10):
        ws.append(['riga %d' % i, i * 1.5])
    chart = BarChart()
    chart.add_data(Reference(ws, min_col=2, min_row=1, max_row=11), titles_from_data=True)
    ws.add_chart(chart, 'D2')
    ws['A20'] = 'dopo il grafico'
    wb.save(os.path.join(tmp, 'libreoffice-grafico.xlsx'))
except ImportError:
    pass
PY
    for f in "$tmp"/libreoffice*.fods "$tmp"/libreoffice*.xlsx; do
        [ -f "$f" ] || continue
        soffice "-env:UserInstallation=file://$tmp/profilo" --headless --convert-to xls --outdir "$tmp/xls" "$f" \
            >/dev/null 2>&1 || true
    done
    # Encrypted under the default password, which the reader undoes: the records after it.
    if /usr/bin/python3 -c 'import uno' 2>/dev/null && [ -f "$tmp/libreoffice.fods" ]; then
        timeout 120 /usr/bin/python3 - "$tmp" <<'PY' || true
import subprocess, sys, time, uno
from com.sun.star.beans import PropertyValue
def pv(n, v):
    p = PropertyValue(); p.Name = n; p.Value = v; return p
tmp = sys.argv[1]
tubo = 'seeds%d' % __import__('os').getpid()
lo = subprocess.Popen(['soffice', '-env:UserInstallation=file://' + tmp + '/profilo-uno', '--headless', '--invisible',
    '--norestore', '--accept=pipe,name=' + tubo + ';urp;'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
locale = uno.getComponentContext()
risolutore = locale.ServiceManager.createInstanceWithContext('com.sun.star.bridge.UnoUrlResolver', locale)
for i in range(240):
    try:
        ctx = risolutore.resolve('uno:pipe,name=' + tubo + ';urp;StarOffice.ComponentContext')
        break
    except Exception:
        time.sleep(0.25)
desk = ctx.ServiceManager.createInstanceWithContext('com.sun.star.frame.Desktop', ctx)
doc = desk.loadComponentFromURL('file://' + tmp + '/libreoffice.fods', '_blank', 0, (pv('Hidden', True),))
doc.storeToURL('file://' + tmp + '/xls/libreoffice-velvet.xls',
               (pv('FilterName', 'MS Excel 97'), pv('Password', 'VelvetSweatshop')))
doc.close(True)
try:
    desk.terminate()
except Exception:
    pass
lo.wait(timeout=60)
PY
    fi
    if command -v ssconvert >/dev/null 2>&1 && [ -f "$tmp/xls/libreoffice.xls" ]; then
        ssconvert -T Gnumeric_Excel:excel_biff7 "$tmp/xls/libreoffice.xls" "$tmp/xls/gnumeric95.xls" >/dev/null 2>&1 || true
    fi
    for f in "$tmp"/xls/*.xls; do
        [ -f "$f" ] && cp "$f" "$corpus/xls/"
    done
    rm -rf "$tmp"
fi
echo "seeds in $corpus"
