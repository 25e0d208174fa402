#pragma once

#include <QString>

// The fixed addresses of the website, account, upload and news hosts, the upload signing
// key and the database file name. Read-only for everyone; the scheme://host[:port] of each
// host role can be replaced for development through VANTREL_WEBSITE_URL,
// VANTREL_ACCOUNT_URL, VANTREL_UPLOAD_URL and VANTREL_NEWS_URL (paths stay as they are).

// The program version: shown, sent as the "X-Tool-Version" header and compared by the
// version check.
inline constexpr char PROGRAM_VERSION[] = "2.28.1.210115";

extern const QString& URL_AVATAR;
extern const QString& URL_TOOL_LOGIN;
extern const QString& URL_REMEMBER_LOGIN;
extern const QString& URL_UCP_PM;
extern const QString& URL_UPLOAD;
extern const QString& URL_ASSET_SUBMIT;
extern const QString& URL_DISTRICT;
extern const QString& URL_ASSET;
extern const QString& URL_GAINS_INFO;
extern const QString& URL_GAINS_TYPE;
extern const QString& URL_GAINS_TOTAL_JIN;
extern const QString& URL_GAINS_TOTAL_PU;
extern const QString& URL_ASSET_DETAIL;
extern const QString& URL_CHECKING_INTRO;
extern const QString& URL_VERSION;
extern const QString& URL_VERSIONS;
extern const QString& URL_ASSET_VERSIONS;
extern const QString& URL_SUBSET_CHECK;
extern const QString& URL_VERSION_JSON;
extern const QString& URL_RULE_JSON;
extern const QString& URL_VTUP_JSON;
extern const QString& URL_NEWS_NOTICE;
extern const QString& URL_NEWS_FAQ;
extern const QString& URL_NEWS_REWARD;
extern const QString& URL_SERVICE_CHAT;
extern const QString& URL_SOFT;
extern const QString& URL_SITE_LOGIN;
extern const QString& URL_UCP;
extern const QString& URL_HELP;
extern const QString& URL_DRAWING_APPLY;
extern const QString& UPLOAD_SIGN_KEY;
extern const QString& DB_FILE_NAME;

namespace Endpoints {

enum class Role { Website, Account, Upload, News };

// The compiled-in host of a role, e.g. "www.zenweb.cn" (no scheme, no port). The local
// server names of both programs are built from the compiled-in website host, never from a
// development override.
QString compiledHost(Role role);

// scheme://host[:port] in force for a role (the override when one is set).
QString base(Role role);

// Rebuilds every address from the environment. Runs once before main(); tests that start
// a local site on a free port call it again after setting the variables.
void reload();

} // namespace Endpoints
