#pragma once

#include <QMainWindow>
#include <memory>

namespace sz::db {
class Connection;
}
class InstanceMarkers;

class TFormMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

private:
    std::unique_ptr<sz::db::Connection> m_conn;
    std::unique_ptr<InstanceMarkers> m_markers;
};
