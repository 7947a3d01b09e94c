#pragma once
// Form1: the main window.
#include <QWidget>

namespace lckb {

struct Session;

class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(Session &session, QWidget *parent = nullptr);

private:
    Session &m_session;
};

} // namespace lckb
