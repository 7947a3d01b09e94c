#include "dbusjson.h"

#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTime>

namespace lckb::standins {

namespace {

QJsonValue bytes(const QByteArray &b)
{
    return QJsonObject{{QStringLiteral("bytes"), b.size()}};
}

QString keyText(const QJsonValue &k)
{
    if (k.isString())
        return k.toString();
    return QString::number(k.toDouble(), 'g', 17);
}

} // namespace

QJsonValue toJson(const QDBusArgument &a)
{
    switch (a.currentType()) {
    case QDBusArgument::BasicType:
        return toJson(a.asVariant());
    case QDBusArgument::VariantType: {
        QDBusVariant dv;
        a >> dv;
        return toJson(dv.variant());
    }
    case QDBusArgument::ArrayType: {
        if (a.currentSignature() == QLatin1String("ay")) {
            QByteArray b;
            a >> b;
            return bytes(b);
        }
        QJsonArray out;
        a.beginArray();
        while (!a.atEnd())
            out.append(toJson(a));
        a.endArray();
        return out;
    }
    case QDBusArgument::StructureType: {
        QJsonArray out;
        a.beginStructure();
        while (!a.atEnd())
            out.append(toJson(a));
        a.endStructure();
        return out;
    }
    case QDBusArgument::MapType: {
        QJsonObject out;
        a.beginMap();
        while (!a.atEnd()) {
            a.beginMapEntry();
            const QJsonValue k = toJson(a);
            const QJsonValue v = toJson(a);
            a.endMapEntry();
            out.insert(keyText(k), v);
        }
        a.endMap();
        return out;
    }
    case QDBusArgument::MapEntryType:
    case QDBusArgument::UnknownType:
        break;
    }
    return QJsonValue();
}

QJsonValue toJson(const QVariant &v)
{
    const int type = v.metaType().id();
    if (type == qMetaTypeId<QDBusArgument>())
        return toJson(v.value<QDBusArgument>());
    if (type == qMetaTypeId<QDBusVariant>())
        return toJson(v.value<QDBusVariant>().variant());
    if (type == qMetaTypeId<QDBusObjectPath>())
        return v.value<QDBusObjectPath>().path();
    if (type == qMetaTypeId<QDBusSignature>())
        return v.value<QDBusSignature>().signature();
    switch (type) {
    case QMetaType::Bool:
        return v.toBool();
    case QMetaType::QByteArray:
        return bytes(v.toByteArray());
    case QMetaType::QString:
        return v.toString();
    case QMetaType::QStringList:
        return QJsonArray::fromStringList(v.toStringList());
    case QMetaType::QVariantList: {
        QJsonArray out;
        const QVariantList l = v.toList();
        for (const QVariant &e : l)
            out.append(toJson(e));
        return out;
    }
    case QMetaType::QVariantMap: {
        QJsonObject out;
        const QVariantMap m = v.toMap();
        for (auto it = m.cbegin(); it != m.cend(); ++it)
            out.insert(it.key(), toJson(it.value()));
        return out;
    }
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return v.toDouble();
    default:
        break;
    }
    return v.isValid() ? QJsonValue(v.toString()) : QJsonValue();
}

QByteArray compact(const QJsonValue &v)
{
    if (v.isObject())
        return QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
    if (v.isArray())
        return QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact);
    // A lone value: wrap it and cut the brackets off again.
    const QByteArray s = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return s.mid(1, s.size() - 2);
}

QString timeNow()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz"));
}

} // namespace lckb::standins
