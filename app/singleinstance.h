#pragma once
#include <QLockFile>
#include <QString>
#include <memory>

namespace lckb {

// One copy per user. The lock goes stale with its holder, so a crash or a
// kill never blocks the next start. It lives in a folder only the user can
// write: $XDG_RUNTIME_DIR, else a private folder of the user's in /tmp, else
// ~/.cache/lckb.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &lockPath = defaultLockPath());
    bool tryAcquire();
    static QString defaultLockPath();

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace lckb
