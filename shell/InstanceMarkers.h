#pragma once

#include <QString>

// Two markers by which other programs can tell that Scadenzio runs: a shared lock on
// a file of this user's runtime folder and one in /tmp, visible to every user. The
// program itself never tests them and never refuses a second instance.
class InstanceMarkers
{
public:
    explicit InstanceMarkers(const QString& name);
    ~InstanceMarkers();
    InstanceMarkers(const InstanceMarkers&) = delete;
    InstanceMarkers& operator=(const InstanceMarkers&) = delete;

private:
    int m_local = -1;
    int m_global = -1;
};
