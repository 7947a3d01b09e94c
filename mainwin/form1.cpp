#include "form1.h"

#include "session.h"

#include <QLabel>
#include <QVBoxLayout>

namespace lckb {

Form1::Form1(Session &session, QWidget *parent)
    : QWidget(parent)
    , m_session(session)
{
    setWindowTitle(QStringLiteral("澜策快报 LC6.1.1"));
    auto *l = new QVBoxLayout(this);
    l->addWidget(new QLabel(m_session.mainPageUrl(), this));
    resize(1024, 700);
}

} // namespace lckb
