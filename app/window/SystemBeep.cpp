#include "SystemBeep.h"

#include <QApplication>

namespace SystemBeep {

namespace {
std::function<void()>& hook()
{
    static std::function<void()> installed;
    return installed;
}
} // namespace

void beep()
{
    if (hook())
        hook()();
    else
        QApplication::beep();
}

void setHook(std::function<void()> replacement) { hook() = std::move(replacement); }

} // namespace SystemBeep
