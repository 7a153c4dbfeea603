#include "UserDefaults.h"

#include <QCoreApplication>
#include <QSettings>

namespace UserDefaults {

namespace {
// One store per deliverable: the organization is the product, the application the executable.
QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("clipwell"), QCoreApplication::applicationName());
}
} // namespace

QString stringForKey(const QString& key, const QString& fallback) { return store().value(key, fallback).toString(); }

void setString(const QString& key, const QString& value) { store().setValue(key, value); }

bool boolForKey(const QString& key, bool fallback) { return store().value(key, fallback).toBool(); }

void setBool(const QString& key, bool value) { store().setValue(key, value); }

QByteArray dataForKey(const QString& key) { return store().value(key).toByteArray(); }

void setData(const QString& key, const QByteArray& value) { store().setValue(key, value); }

QStringList stringListForKey(const QString& key) { return store().value(key).toStringList(); }

void setStringList(const QString& key, const QStringList& value) { store().setValue(key, value); }

void removeObjectForKey(const QString& key) { store().remove(key); }

} // namespace UserDefaults
