#pragma once
// Form2: the pop-up that announces one new bulletin in the bottom-right
// corner of the screen.
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace lckb {

class MainLink;

class Form2 : public QWidget
{
    Q_OBJECT
public:
    // Every pop-up, and nothing else, bears this caption.
    static const QString kCaption;
    static const QString kMainNotLoadedText;

    // Runs the load step: the window is placed and set to stay on top.
    Form2(MainLink &main, int tickMs, QWidget *parent = nullptr);

    // Fills the pop-up in the order the alert presentation gives.
    void setData(int index, const QString &zuName, const QString &ziName, const QString &ziUrl);

    // Click: opens the bulletin in the main page's fourth frame, brings the
    // main window forward and closes the pop-up.
    void Click();

    int index() const { return lblIndex->text().toInt(); }
    QString url() const { return ZiUrlTxT->text(); }

    // Where the pop-up goes on a screen of the given full geometry (pixels),
    // for a window of the given outer size and logical DPI: 50 twips from the
    // right edge, 500 twips above the bottom edge.
    static QPoint bottomRightPlace(const QRect &screen, const QSize &outer, qreal dpi);

    QLabel *Label1;         // the title line ">title<"
    QLabel *Label2;         // the invitation to click
    QLabel *lblIndex;       // sequence number, hidden
    QLineEdit *ZuNameTxT;   // group name, hidden
    QLineEdit *ZiNameTxT;   // item title, hidden
    QLineEdit *ZiUrlTxT;    // full address of the bulletin, hidden
    QTimer Timer1;          // closes the pop-up on its third tick
    int lngTicks = 0;       // ticks of Timer1 so far

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void place();
    void finishClick(bool frameLoaded);

    MainLink &m_main;
    bool m_clicking = false;
};

} // namespace lckb
