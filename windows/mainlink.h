#pragma once
// What the secondary windows need of the main window. The main window
// implements it; windows never see the main window's own class.
#include "windows/pagescripts.h"

#include <QString>
#include <functional>

namespace lckb {

class Session;

class MainLink
{
public:
    virtual ~MainLink() = default;

    virtual Session &session() = 0;

    // Whether the main page has finished loading.
    virtual bool pageComplete() const = 0;

    // Loads `url` into the fourth frame of the main page; `done(true)` when
    // the frame was told to go there, `done(false)` when the page has no
    // such frame or refused.
    virtual void loadInFourthFrame(const QString &url, std::function<void(bool)> done) = 0;

    // Types the remembered login into the login form of the main page's
    // fourth frame (see loginFillScript); `done` gets what the fill found.
    virtual void fillLogin(std::function<void(const LoginFillResult &)> done) = 0;

    // Runs `then` once the main page is there to take a bulletin: at once,
    // or, where the page is not made yet or was discarded while out of
    // sight, once it is made (or woken) and has loaded.
    virtual void whenPageAwake(std::function<void()> then) { then(); }

    // Window state normal, then shown and brought forward.
    virtual void restoreAndShow() = 0;
};

} // namespace lckb
