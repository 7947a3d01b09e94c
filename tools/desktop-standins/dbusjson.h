#pragma once
// D-Bus values as JSON, so that scripts read what a desktop service was sent
// or what an item exports without a D-Bus library of their own.
#include <QDBusArgument>
#include <QJsonValue>
#include <QVariant>

namespace lckb::standins {

// Any value a QtDBus call hands over: basic types, string lists, maps,
// QDBusVariant, object paths, and QDBusArgument for composite types.
// Byte arrays become {"bytes": N}: icon data is of interest for its size only.
QJsonValue toJson(const QVariant &v);
QJsonValue toJson(const QDBusArgument &a);

// One line of JSON, no trailing newline.
QByteArray compact(const QJsonValue &v);

// "hh:mm:ss.zzz", the clock the simulator's request log uses too.
QString timeNow();

} // namespace lckb::standins
