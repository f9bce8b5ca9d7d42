#include "receipt/printermemory.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace rastiv {

namespace {
constexpr int kFormat = 1;
QString hexOf(const QByteArray& b) { return QString::fromLatin1(b.toHex()); }
QByteArray fromHex(const QJsonValue& v) { return QByteArray::fromHex(v.toString().toLatin1()); }
}  // namespace

bool PrinterMemory::legacyOn(int function) const {
    const QByteArray& p = legacy[size_t(function)];
    return !p.isEmpty() && p.count('\0') != p.size();
}

qint64 PrinterMemory::bytes() const {
    qint64 n = 0;
    for (const auto& [number, definition] : logos) n += definition.size();
    for (const auto& [key, definition] : nvGraphics) n += definition.size();
    return n;
}

QByteArray PrinterMemory::toJson() const {
    QJsonObject o;
    o[QStringLiteral("format")] = kFormat;
    QJsonObject l, w, g;
    for (const auto& [n, d] : logos) l[QString::number(n)] = hexOf(d);
    for (const auto& [n, m] : watermarks)
        w[QString::number(n)] = QJsonArray{m.logo, m.shading, m.justify};
    for (const auto& [k, d] : nvGraphics) g[hexOf(k)] = hexOf(d);
    QJsonArray legacyParams, entries;
    for (const QByteArray& p : legacy) legacyParams.append(hexOf(p));
    for (uint16_t e : substitution) entries.append(e);
    o[QStringLiteral("logos")] = l;
    o[QStringLiteral("watermarks")] = w;
    o[QStringLiteral("nvGraphics")] = g;
    o[QStringLiteral("legacy")] = legacyParams;
    o[QStringLiteral("substitution")] = entries;
    o[QStringLiteral("paperType")] = paperType;
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool PrinterMemory::fromJson(const QByteArray& json, QString& problem) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    const QJsonObject o = doc.object();
    if (doc.isNull() || o.value(QStringLiteral("format")).toInt() != kFormat) {
        problem = doc.isNull() ? error.errorString() : QStringLiteral("it is not a printer state file");
        return false;
    }
    PrinterMemory m;
    const QJsonObject l = o.value(QStringLiteral("logos")).toObject();
    for (auto i = l.begin(); i != l.end(); ++i) m.logos[uint8_t(i.key().toInt())] = fromHex(i.value());
    const QJsonObject w = o.value(QStringLiteral("watermarks")).toObject();
    for (auto i = w.begin(); i != w.end(); ++i) {
        const QJsonArray a = i.value().toArray();
        m.watermarks[uint8_t(i.key().toInt())] = {uint8_t(a.at(0).toInt()), uint8_t(a.at(1).toInt()),
                                                  uint8_t(a.at(2).toInt())};
    }
    const QJsonObject g = o.value(QStringLiteral("nvGraphics")).toObject();
    for (auto i = g.begin(); i != g.end(); ++i) m.nvGraphics[QByteArray::fromHex(i.key().toLatin1())] = fromHex(i.value());
    const QJsonArray legacyParams = o.value(QStringLiteral("legacy")).toArray();
    for (qsizetype i = 0; i < std::min<qsizetype>(legacyParams.size(), 5); ++i) m.legacy[size_t(i)] = fromHex(legacyParams[i]);
    const QJsonArray entries = o.value(QStringLiteral("substitution")).toArray();
    for (qsizetype i = 0; i < std::min<qsizetype>(entries.size(), 3); ++i) m.substitution[size_t(i)] = uint16_t(entries[i].toInt());
    m.paperType = o.value(QStringLiteral("paperType")).toInt(-1);
    *this = std::move(m);
    return true;
}

QColor paperHighlight(int paperType, const QColor& fallback) {
    switch (paperType) {
        case 0: return QColor(0, 0, 0);
        case 1: return QColor(255, 0, 0);
        case 4: return QColor(0, 0, 255);
        default: return fallback;
    }
}

}  // namespace rastiv
