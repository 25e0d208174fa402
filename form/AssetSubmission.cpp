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
    // duplicate by the site once the first is accepted.
    if (submitting.contains(id))
        return;
    submitting.insert(id);
    hooks.post(submissionBody(form, hooks.uid()), [this, id, md5](QJsonObject& reply) {
        submitting.remove(id);
        // The row may have been deleted meanwhile (its cached form went with it): the
        // answer then concerns nothing the author still has.
        if (!cache.hasCachedForm(id) || cache.cachedForm(id).file_md5 != md5) {
            writeLog(QStringLiteral("%1 提交结果到达时资料已删除").arg(md5));
            return;
        }
        AssetFormData cached = cache.cachedForm(id);
        const SubmissionVerdict verdict = judgeSubmissionReply(reply);
        if (verdict.accepted) {
            if (hooks.retire(cached))
                cache.removeCachedForm(id);
            return;
        }
        // The bytes are all on the site; only the submission is missing.
        cached.file_size_loaded = cached.file_size;
        cache.cacheForm(cached);
        hooks.refused(id, md5, cached.file_size_loaded, verdict.text);
    });
}

void AssetSubmission::forget(const QString& file_md5, int id)
{
    if (cache.hasCachedForm(id) && cache.cachedForm(id).file_md5 == file_md5)
        cache.removeCachedForm(id);
}
