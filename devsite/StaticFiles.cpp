// Static files of the website: reference data, version files, the program download, and
// the pages the client opens in the browser (including the single sign-on jump).

#include "DevsiteServer.h"
#include "HttpUtil.h"
#include "SeedData.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

using namespace devsite;

namespace {

void page(httplib::Response& res, const QString& title, const QString& body, int status = 200)
{
    const QString html = QString("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
                                 "<body><h1>%1</h1>%2<p><small>devsite</small></p></body></html>")
                             .arg(title.toHtmlEscaped(), body);
    res.status = status;
    res.set_content(html.toStdString(), "text/html; charset=utf-8");
}

void staticPage(DevsiteServer& server, const QString& path, const QString& title, const QString& body)
{
    server.route(DevsiteServer::Listener::Https, "GET", path,
                 [title, body](const httplib::Request&, httplib::Response& res) { page(res, title, body); });
}

void versionFile(DevsiteServer& server, const httplib::Request&, httplib::Response& res)
{
    const QString version = server.publishedVersion();
    QJsonObject file { { "code", 0 }, { "data", QJsonArray { version } } };
    const QString digest = server.publishedDigest();
    if (!digest.isEmpty())
        file.insert("sha256", QJsonObject { { version, digest } });
    const QString signature = server.releaseSignature();
    if (!signature.isEmpty())
        file.insert("signature", QJsonObject { { version, signature } });
    sendJson(res, file);
}

void download(DevsiteServer& server, const httplib::Request& req, httplib::Response& res)
{
    static const QRegularExpression re("^/nsoft/toolupload/([^/]*)/Vantrel\\.exe$");
    const auto m = re.match(qs(req.path));
    if (!m.hasMatch() || m.captured(1) != server.publishedVersion() || server.config().exeFile.isEmpty()) {
        page(res, "404 Not Found", "<p>没有这个文件</p>", 404);
        return;
    }
    QFile f(server.config().exeFile);
    if (!f.open(QIODevice::ReadOnly)) {
        page(res, "404 Not Found", "<p>没有这个文件</p>", 404);
        return;
    }
    res.set_content(f.readAll().toStdString(), "application/octet-stream");
}

// "/toolupload/site/login": token is Base64 of "<session token>&<unix time>"; a live
// session is sent on to jump_url.
void signOn(DevsiteServer& server, const httplib::Request& req, httplib::Response& res)
{
    const QByteArray decoded = QByteArray::fromBase64(param(req, "token").toLatin1());
    const QString token = QString::fromUtf8(decoded).section('&', 0, 0);
    const QString jump = param(req, "jump_url");
    if (!hasParam(req, "mac") || server.store().uidForToken(token) == 0) {
        page(res, "登录已失效", "<p>登录已失效，请在上传工具中重新登录。</p>");
        return;
    }
    if (!jump.startsWith("https://") && !jump.startsWith("http://")) {
        page(res, "个人中心", "<p>已登录。</p>");
        return;
    }
    res.set_redirect(jump.toStdString());
}

void resourcePage(DevsiteServer& server, const httplib::Request& req, httplib::Response& res)
{
    static const QRegularExpression re("^/H/(\\d+)/(\\d+)/(\\d+)\\.shtml$");
    const auto m = re.match(qs(req.path));
    const QJsonObject a = m.hasMatch() ? server.store().asset(m.captured(3).toInt()) : QJsonObject();
    if (a.isEmpty()) {
        page(res, "404 Not Found", "<p>资源不存在</p>", 404);
        return;
    }
    page(res, a.value("subject").toString(), "<p>" + a.value("categories").toString().toHtmlEscaped() + "</p>");
}

} // namespace

void registerStaticFiles(DevsiteServer& server)
{
    const auto https = DevsiteServer::Listener::Https;
    server.route(https, "GET", "/nsoft/toolupload/resource/vtup.json",
                 [](const httplib::Request&, httplib::Response& res) {
                     res.set_content(seed::vtupBytes().toStdString(), "application/json; charset=utf-8");
                 });
    server.route(https, "GET", "/nsoft/toolupload/resource/rule.json",
                 [](const httplib::Request&, httplib::Response& res) {
                     res.set_content(seed::ruleBytes().toStdString(), "application/json; charset=utf-8");
                 });
    auto bind = [&server](void (*fn)(DevsiteServer&, const httplib::Request&, httplib::Response&)) {
        return [&server, fn](const httplib::Request& req, httplib::Response& res) { fn(server, req, res); };
    };
    server.route(https, "GET", "/nsoft/toolupload/version.json", bind(versionFile));
    server.route(https, "GET", "/nsoft/toolupload/version_2.json", bind(versionFile));
    server.routePrefix(https, "GET", "/nsoft/toolupload/", bind(download));
    server.route(https, "GET", "/toolupload/site/login", bind(signOn));
    server.routePrefix(https, "GET", "/H/", bind(resourcePage));

    staticPage(server, "/", "教育资源网", "<p>欢迎使用教育资源网。</p>");
    staticPage(server, "/ucp.php", "个人中心", "<p>我的资料、我的消息、提现申请。</p>");
    staticPage(server, "/soft.php", "下载管理", "<p>资源下载管理。</p>");
    staticPage(server, "/help/", "帮助中心", "<p>常见问题与使用说明。</p>");
    staticPage(server, "/site/register", "注册账号", "<p>注册新账号。</p>");
    staticPage(server, "/site/password-find", "找回密码", "<p>通过手机或邮箱找回密码。</p>");
    staticPage(server, "/site/realname", "实名认证", "<p>请完成实名认证。</p>");
    staticPage(server, "/site/security", "安全验证", "<p>请完成安全验证以解除限制。</p>");
    staticPage(server, "/A/130/137/V729019.shtml", "注意事项", "<p>上传资料前请仔细阅读以下注意事项。</p>");
    staticPage(server, "/A/130/137/V729020.shtml", "常见问题", "<p>上传工具常见问题解答。</p>");
    staticPage(server, "/A/130/123/V798955.shtml", "奖励规则", "<p>资料下载提成与奖励规则。</p>");
}
