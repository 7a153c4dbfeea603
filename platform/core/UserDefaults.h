// The user defaults of the running deliverable: a few small values kept between runs in the
// deliverable's own QSettings store (~/.config/<organization>/<application>.conf). Thread-safe
// (QSettings is reentrant and each call uses its own object). Missing keys read as the given default.
#pragma once

#include <QString>
#include <QStringList>

namespace UserDefaults {
QString stringForKey(const QString& key, const QString& fallback = {});
void setString(const QString& key, const QString& value);
bool boolForKey(const QString& key, bool fallback = false);
void setBool(const QString& key, bool value);
QByteArray dataForKey(const QString& key);
void setData(const QString& key, const QByteArray& value);
QStringList stringListForKey(const QString& key);
void setStringList(const QString& key, const QStringList& value);
void removeObjectForKey(const QString& key);
} // namespace UserDefaults
