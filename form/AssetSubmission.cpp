#include "form/AssetSubmission.h"

#include "app/RunLog.h"
#include "upload/UploadJobList.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// One JSON value as text, escaped by the toolkit's own writer.
QByteArray jsonText(const QJsonValue& value)
{
    const QByteArray wrapped = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

int retireRetryMs = 1000;

// A region level that was left open (-1) is sent as 0.
int regionId(int id)
{
    return id == -1 ? 0 : id;
}

} // namespace

QList<QPair<QString, QJsonValue>> submissionFields(const AssetFormData& form, int uid)
{
    const QString path = buildFilePath(form.file_dir, form.file_name);
    QJsonArray typeIds;
    QJsonArray rootIds;
    for (const AssetTypeItem& t : form.types) {
        typeIds.append(t.typeid_);
        rootIds.append(t.typeidroot);
    }
    // An archive's text is its listing, not content worth indexing.
    const bool zip = path.mid(path.lastIndexOf('.') + 1) == QLatin1String("zip");
    return {
        { "_id", form.id },
        { "catid", form.catid },
        { "catpath", form.catpath },
        { "xueduanid", form.xueduanid },
        { "chid", form.chid },
        { "copyrighttype", form.copyrighttype },
        { "flag", form.flag },
        { "stars", form.stars },
        { "softsize", QJsonValue(form.file_size) },
        { "fitprovince", form.fitprovince },
        { "fitcity", regionId(form.fitcity) },
        { "fitdist", regionId(form.fitdist) },
        { "subject", form.subject },
        { "filename", form.file_name },
        { "versionid", form.versionid },
        { "file_md5", form.file_md5 },
        { "uploadurl", saveAsName(path, form.file_md5, form.created_time, form.id, uid) },
        { "intro", zip ? QString::fromLatin1("") : form.file_text },
        { "typeid", typeIds },
        { "typeidroot", rootIds },
    };
}

QByteArray submissionBody(const AssetFormData& form, int uid)
{
    QByteArray out = "{";
    for (const auto& field : submissionFields(form, uid)) {
        if (out.size() > 1)
            out += ',';
        out += jsonText(field.first) + ':' + jsonText(field.second);
    }
    return out + '}';
}

SubmissionVerdict judgeSubmissionReply(const QJsonObject& reply)
{
    const int errcode = reply.value(QLatin1String("errcode")).toInt();
    const QJsonValue code = reply.value(QLatin1String("code"));
    // A reply without "code" says nothing about the submission: it is not an acceptance.
    if (errcode != -3 && code.isDouble() && code.toInt() == 0)
        return { true, QString() };
    QString text = reply.value(QLatin1String("msg")).toString();
    if (text.isEmpty())
        text = reply.value(QLatin1String("message")).toString();
    if (text.isEmpty())
        text = QString::fromUtf8("数据保存失败！");
    return { false, text };
}

AssetSubmission::AssetSubmission(UploadJobList& cache, Hooks hooks)
    : cache(cache)
    , hooks(std::move(hooks))
{
}

void AssetSubmission::setRetireRetryMsForTesting(int ms)
{
    retireRetryMs = ms;
}

void AssetSubmission::submitCached(int id)
{
    if (!cache.hasCachedForm(id))
        return;
    submit(cache.cachedForm(id));
}

void AssetSubmission::submit(const AssetFormData& form)
{
    const int id = form.id;
    const QString md5 = form.file_md5;
    // A second start while the first submission is under way would be refused as a
    // duplicate by the site once the first is accepted; one the site accepted already is
    // never sent again.
    if (submitting.contains(id) || acceptedUnretired.contains(id))
        return;
    submitting.insert(id);
    // The record belongs to the account it is submitted for, whoever is logged in when the
    // answer comes.
    const int uid = hooks.uid();
    hooks.post(submissionBody(form, uid), [this, id, md5, uid](QJsonObject& reply) {
        // The row may have been deleted meanwhile (its cached form went with it): the
        // answer then concerns nothing the author still has.
        if (!cache.hasCachedForm(id) || cache.cachedForm(id).file_md5 != md5) {
            submitting.remove(id);
            writeLog(QStringLiteral("%1 提交结果到达时资料已删除").arg(md5));
            return;
        }
        AssetFormData cached = cache.cachedForm(id);
        const SubmissionVerdict verdict = judgeSubmissionReply(reply);
        if (verdict.accepted) {
            retireAccepted(id, md5, uid, 1);
            return;
        }
        submitting.remove(id);
        // The bytes are all on the site; only the submission is missing. An expired session
        // ends here too (with the site's text): the row can be started again after the new
        // login.
        cached.file_size_loaded = cached.file_size;
        cache.cacheForm(cached);
        hooks.refused(id, md5, cached.file_size_loaded, verdict.text);
    });
}

void AssetSubmission::retireAccepted(int id, const QString& file_md5, int uid, int attempt)
{
    if (!cache.hasCachedForm(id) || cache.cachedForm(id).file_md5 != file_md5) {
        submitting.remove(id);
        return;
    }
    const AssetFormData cached = cache.cachedForm(id);
    const Hooks::Retire result = hooks.retire(cached, uid);
    if (result == Hooks::Retire::Failed && attempt < kRetireAttempts) {
        // Still "submitting", so that no start sends it again meanwhile.
        hooks.later(retireRetryMs << (attempt - 1),
                    [this, id, file_md5, uid, attempt]() { retireAccepted(id, file_md5, uid, attempt + 1); });
        return;
    }
    submitting.remove(id);
    cache.removeCachedForm(id);
    if (result == Hooks::Retire::Failed) {
        acceptedUnretired.insert(id);
        writeLog(QStringLiteral("%1 已提交成功，但本地记录未能标记为已提交").arg(file_md5), 1);
        hooks.submittedUnretired(cached);
    }
}

void AssetSubmission::forget(const QString& file_md5, int id)
{
    if (cache.hasCachedForm(id) && cache.cachedForm(id).file_md5 == file_md5)
        cache.removeCachedForm(id);
}
