#include "net/Endpoints.h"

#include <QProcessEnvironment>

namespace {

using Endpoints::Role;

struct Entry
{
    Role role;
    const char* path; // path and query, fixed
};

// In table order. Entries without a role (the chat page, the key, the file name) are
// handled below.
const Entry kEntries[] = {
    { Role::Account, "/avatar.php" },
    { Role::Account, "/tool/tool-login" },
    { Role::Account, "/tool/remember-login" },
    { Role::Website, "/ucp.php?mod=pm" },
    { Role::Upload, "/upload/" },
    { Role::Website, "/toolupload/asset/asset-submit" },
    { Role::Website, "/toolupload/district" },
    { Role::Website, "/toolupload/asset" },
    { Role::Website, "/toolupload/down-gains/gains-info" },
    { Role::Website, "/toolupload/down-gains/gains-type" },
    { Role::Website, "/toolupload/down-gains/gains-total-jin" },
    { Role::Website, "/toolupload/down-gains/gains-total-pu" },
    { Role::Website, "/toolupload/asset/detail" },
    { Role::Website, "/toolupload/asset/checking-intro" },
    { Role::Website, "/toolupload/versions/version" },
    { Role::Website, "/toolupload/versions" },
    { Role::Website, "/toolupload/versions/asset-versions" },
    { Role::Website, "/toolupload/asset/subset-check" },
    { Role::Website, "/nsoft/toolupload/version.json" },
    { Role::Website, "/nsoft/toolupload/resource/rule.json" },
    { Role::Website, "/nsoft/toolupload/resource/vtup.json" },
    { Role::News, "/A/130/137/V729019.shtml" },
    { Role::News, "/A/130/137/V729020.shtml" },
    { Role::News, "/A/130/123/V798955.shtml" },
};
constexpr int kRoleEntries = sizeof(kEntries) / sizeof(kEntries[0]);

// Entries after the chat page, again with a role; one entry a line, like the table above.
// clang-format off
const Entry kLateEntries[] = {
    { Role::Website, "/soft.php" },
    { Role::Website, "/toolupload/site/login" },
    { Role::Website, "/ucp.php" },
    { Role::Website, "/help/" },
    { Role::Website, "/ucp.php?mod=drawing&op=apply" },
};
// clang-format on
constexpr int kLateEntries_ = sizeof(kLateEntries) / sizeof(kLateEntries[0]);

constexpr int kAll = 32;
QString storage[kAll];

const char* overrideVariable(Role role)
{
    switch (role) {
    case Role::Website:
        return "VANTREL_WEBSITE_URL";
    case Role::Account:
        return "VANTREL_ACCOUNT_URL";
    case Role::Upload:
        return "VANTREL_UPLOAD_URL";
    case Role::News:
        return "VANTREL_NEWS_URL";
    }
    return "";
}

const char* defaultScheme(Role role)
{
    return role == Role::Upload ? "http" : "https";
}

void fill()
{
    int i = 0;
    for (const Entry& e : kEntries)
        storage[i++] = Endpoints::base(e.role) + QString::fromUtf8(e.path);
    storage[i++] = QStringLiteral("https://kefu.zenweb.cn/chat/index.html?channel=vantrel");
    for (const Entry& e : kLateEntries)
        storage[i++] = Endpoints::base(e.role) + QString::fromUtf8(e.path);
    storage[i++] = QStringLiteral("Tq8R*vm%5L&7");
    storage[i++] = QStringLiteral("vtup_1.dat");
    static_assert(kRoleEntries + 1 + kLateEntries_ + 2 == kAll, "endpoint table size");
}

const bool filled = (fill(), true);

} // namespace

const QString& URL_AVATAR = storage[0];
const QString& URL_TOOL_LOGIN = storage[1];
const QString& URL_REMEMBER_LOGIN = storage[2];
const QString& URL_UCP_PM = storage[3];
const QString& URL_UPLOAD = storage[4];
const QString& URL_ASSET_SUBMIT = storage[5];
const QString& URL_DISTRICT = storage[6];
const QString& URL_ASSET = storage[7];
const QString& URL_GAINS_INFO = storage[8];
const QString& URL_GAINS_TYPE = storage[9];
const QString& URL_GAINS_TOTAL_JIN = storage[10];
const QString& URL_GAINS_TOTAL_PU = storage[11];
const QString& URL_ASSET_DETAIL = storage[12];
const QString& URL_CHECKING_INTRO = storage[13];
const QString& URL_VERSION = storage[14];
const QString& URL_VERSIONS = storage[15];
const QString& URL_ASSET_VERSIONS = storage[16];
const QString& URL_SUBSET_CHECK = storage[17];
const QString& URL_VERSION_JSON = storage[18];
const QString& URL_RULE_JSON = storage[19];
const QString& URL_VTUP_JSON = storage[20];
const QString& URL_NEWS_NOTICE = storage[21];
const QString& URL_NEWS_FAQ = storage[22];
const QString& URL_NEWS_REWARD = storage[23];
const QString& URL_SERVICE_CHAT = storage[24];
const QString& URL_SOFT = storage[25];
const QString& URL_SITE_LOGIN = storage[26];
const QString& URL_UCP = storage[27];
const QString& URL_HELP = storage[28];
const QString& URL_DRAWING_APPLY = storage[29];
const QString& UPLOAD_SIGN_KEY = storage[30];
const QString& DB_FILE_NAME = storage[31];

namespace Endpoints {

QString compiledHost(Role role)
{
    switch (role) {
    case Role::Website:
        return QStringLiteral("www.zenweb.cn");
    case Role::Account:
        return QStringLiteral("passport.zenweb.cn");
    case Role::Upload:
        return QStringLiteral("upload.zenweb.cn");
    case Role::News:
        return QStringLiteral("news.zenweb.cn");
    }
    return QString();
}

QString base(Role role)
{
    QString value = QProcessEnvironment::systemEnvironment().value(overrideVariable(role)).trimmed();
    while (value.endsWith('/'))
        value.chop(1);
    if (!value.isEmpty())
        return value;
    return QString::fromLatin1(defaultScheme(role)) + "://" + compiledHost(role);
}

void reload()
{
    (void)filled;
    fill();
}

} // namespace Endpoints
