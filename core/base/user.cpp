#include "core/base/user.h"

User::User(QObject *parent)
    : QObject(parent)
{
}
