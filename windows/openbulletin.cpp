#include "windows/openbulletin.h"

#include "prefs/messagebox.h"
#include "windows/mainlink.h"

namespace lckb {

const QString kMainNotLoadedText = QStringLiteral("主窗口未正常加载，请尝试重启软件或检查网络！");

namespace {

void openInPage(MainLink &main, const QString &url, std::function<void()> done)
{
    MainLink *m = &main;
    auto rest = [m, done = std::move(done)] {
        m->restoreAndShow();
        if (done)
            done();
    };
    if (!main.pageComplete()) {
        // Still loading: no frame is touched and nothing is said.
        rest();
        return;
    }
    main.loadInFourthFrame(url, [rest = std::move(rest)](bool frameLoaded) {
        if (frameLoaded) {
            rest();
            return;
        }
        // Not a child of the pop-up: the pop-up may close itself while the
        // message is open, and the rest of the click must still happen.
        openMessage(QMessageBox::NoIcon, kAppTitle, kMainNotLoadedText, QMessageBox::Ok, nullptr,
                    [rest](QMessageBox::StandardButton) { rest(); });
    });
}

} // namespace

void openBulletin(MainLink &main, const QString &url, std::function<void()> done)
{
    MainLink *m = &main;
    main.whenPageAwake([m, url, done = std::move(done)]() mutable { openInPage(*m, url, std::move(done)); });
}

} // namespace lckb
