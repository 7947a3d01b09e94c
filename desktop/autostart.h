#pragma once
// "开机自动启动": the desktop's autostart entry for this program, an XDG
// autostart file ($XDG_CONFIG_HOME/autostart/lckb.desktop) that starts the
// same program with the same --hosts when the user logs in.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace lckb {

class AutostartEntry
{
public:
    // `file`: the entry; `command`: the program (an absolute path) and its arguments.
    AutostartEntry(const QString &file, const QStringList &command);

    // $XDG_CONFIG_HOME/autostart/lckb.desktop (~/.config when unset or relative).
    static QString defaultFile();

    // Whether the desktop starts the program: the file exists and does not
    // say Hidden=true (how a desktop's own settings switch an entry off).
    bool enabled() const;
    // Writes the entry, replacing the file whole; false when it could not be,
    // with the reason in `why` (Chinese, for the user). Nothing is written
    // through a symbolic link: where the entry or its folder is one, nothing
    // is written at all, so nothing outside the autostart folder changes.
    bool enable(QString *why = nullptr) const;
    // Removes the file (a link in its place as a link); true when it is
    // gone. Refused, as above, where the folder is a link.
    bool disable(QString *why = nullptr) const;

    // The entry as written; empty when the command cannot be put in one
    // (an argument holding a control character).
    QByteArray text() const;
    // The value of Exec for `command`, each argument quoted where the
    // freedesktop.org Desktop Entry format wants it; empty as above.
    static QString execValue(const QStringList &command);

    QString file() const { return m_file; }

private:
    QString m_file;
    QStringList m_command;
};

} // namespace lckb
