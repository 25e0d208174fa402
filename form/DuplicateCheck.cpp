#include "form/DuplicateCheck.h"

#include "form/MyRepeatDialog.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "widgets/MyMsgBox.h"

#include <QAbstractButton>
#include <QPointer>
#include <QUrlQuery>

namespace {

const char* const kKnown = "服务器已有相同资源，不允许重复上传";

QString replyText(const QJsonObject& reply)
{
    const QString msg = reply.value(QLatin1String("msg")).toString();
    return msg.isEmpty() ? reply.value(QLatin1String("message")).toString() : msg;
}

} // namespace

FingerprintAnswer judgeFingerprintReply(const QJsonObject& reply)
{
    const int errcode = reply.value(QLatin1String("errcode")).toInt();
    const auto data = reply.constFind(QLatin1String("data"));
    const bool hasData = data != reply.constEnd();
    // Only the site's answer about the file counts: a failed request, or a refusal that
    // carries no data, says nothing about the file and must not cost the author the file.
    if (errcode == -3 || (!hasData && (errcode != 0 || reply.value(QLatin1String("code")).toInt() != 0))) {
        QString why = replyText(reply);
        if (why.isEmpty())
            why = QString::fromUtf8("服务器无应答");
        return { FingerprintVerdict::Failed, QString::fromUtf8("资源查重失败：%1，请稍后重试").arg(why) };
    }
    if (hasData && data.value().isNull())
        return { FingerprintVerdict::New, QString() };
    return { FingerprintVerdict::Known, QString::fromUtf8(kKnown) };
}

void checkFingerprint(const QString& md5, std::function<void(const FingerprintAnswer&)> done)
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("file_md5"), md5);
    MyDAO::instance()->httpGet(URL_SUBSET_CHECK, query, [done](QJsonObject& reply) {
        if (done)
            done(judgeFingerprintReply(reply));
    });
}

QString textCheckRefusal(bool analysing, bool knownToSite, const QString& fileText,
                         const std::function<QPair<int, int>()>& collectStageSubject)
{
    if (analysing)
        return QString::fromUtf8("请稍后，正在解析文档内容...");
    if (knownToSite)
        return QString::fromUtf8(kKnown);
    if (fileText.trimmed().isEmpty())
        return QString::fromUtf8("文本内容提取为空或解析失败，无法查重");
    const QPair<int, int> stageSubject = collectStageSubject ? collectStageSubject() : qMakePair(0, 0);
    if (stageSubject.first == 0 || stageSubject.second == 0)
        return QString::fromUtf8("请选择学段学科再查重");
    return QString();
}

QJsonObject textCheckBody(const AssetFormData& form)
{
    return QJsonObject { { "intro", form.file_text },
                         { "stage", form.xueduanid },
                         { "subject_id", form.chid },
                         { "file_md5", form.file_md5 } };
}

TextCheckAnswer judgeTextCheckReply(const QJsonObject& reply)
{
    if (reply.value(QLatin1String("errcode")).toInt() == -3)
        return { false, reply.value(QLatin1String("message")).toString(), {} };
    const QJsonValue data = reply.value(QLatin1String("data"));
    // Only a "code" of 0 that is there says the list is a finding.
    const QJsonValue code = reply.value(QLatin1String("code"));
    if (!code.isDouble() || code.toDouble() != 0 || !data.isArray() || data.toArray().isEmpty())
        return { false, QString::fromUtf8("亲，没有内容重复资源！"), {} };
    return { true, QString(), data.toArray() };
}

void sendTextCheck(QWidget* parent, QAbstractButton* button, const AssetFormData& form, std::function<bool()> wanted)
{
    QPointer<QWidget> owner(parent);
    QPointer<QAbstractButton> guardButton(button);
    if (button)
        button->setEnabled(false);
    MyDAO::instance()->httpPost(URL_CHECKING_INTRO, textCheckBody(form),
                                [owner, guardButton, wanted](QJsonObject& reply) {
                                    if (guardButton)
                                        guardButton->setEnabled(true);
                                    if (!owner || (wanted && !wanted()))
                                        return;
                                    const TextCheckAnswer answer = judgeTextCheckReply(reply);
                                    if (!answer.similar) {
                                        MyMsgBox::alert(answer.text, owner);
                                        return;
                                    }
                                    MyMsgBox::runDialog(new MyRepeatDialog(answer.resources, owner->window()), owner);
                                });
}
