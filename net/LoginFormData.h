#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// What the login dialog hands to MyDAO::login.
struct LoginFormData
{
    QString username;
    QString password; // empty when a remembered key is used
    QString encryptkey; // remembered-login key; empty for a password login
    bool remember_me = false;
    bool auto_login = false;
};

// One network interface as far as the login's "mac" item cares.
struct NetworkAdapter
{
    QString humanReadableName;
    QString hardwareAddress;
    bool up = false;
    bool loopback = false;
};

// The hardware address sent with a login: the first adapter that is up, not loopback and
// not a VMware virtual one; empty when there is none.
QString pickHardwareAddress(const QList<NetworkAdapter>& adapters);

// The machine's adapters in the order the system lists them.
QList<NetworkAdapter> systemNetworkAdapters();

// "errcode" of a login reply as a number; nothing when it is absent, null or not a number
// (a decimal string counts as its number).
std::optional<int> replyErrcode(const QJsonObject& reply);
