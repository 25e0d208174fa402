#pragma once

// The submission of an uploaded asset's metadata to the site: what is sent, how the answer
// is read, and the submissions under way.

#include "store/AssetRecords.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <functional>

class UploadJobList;

// The submission's fields in the order the site reads them.
QList<QPair<QString, QJsonValue>> submissionFields(const AssetFormData& form, int uid);
// The same as compact JSON text, keys in that order.
QByteArray submissionBody(const AssetFormData& form, int uid);

// The site's answer to a submission: accepted, or the text to show on the row.
struct SubmissionVerdict
{
    bool accepted = false;
    QString text;
};
SubmissionVerdict judgeSubmissionReply(const QJsonObject& reply);

// Sends the metadata of uploaded assets, one submission per record at a time. The form
// data comes from the job list's form cache; the request, the account and the store are
// reached through the hooks its owner gives.
class AssetSubmission
{
public:
    struct Hooks
    {
        // Posts the body to the submission address; `reply` gets the site's answer later.
        std::function<void(const QByteArray& body, std::function<void(QJsonObject&)> reply)> post;
        // The account logged in now.
        std::function<int()> uid;
        // Retires the accepted record of account `uid`.
        enum class Retire { Retired, NoRecord, Failed };
        std::function<Retire(const AssetFormData& form, int uid)> retire;
        // The accepted record could not be marked as submitted: its row goes as if it had been.
        std::function<void(const AssetFormData& form)> submittedUnretired;
        // Runs `fn` later, after `ms` milliseconds, on the same thread.
        std::function<void(int ms, std::function<void()> fn)> later;
        // A refusal: the text for the record's row, all bytes counted as loaded.
        std::function<void(int id, const QString& file_md5, qint64 loaded, const QString& text)> refused;
    };

    AssetSubmission(UploadJobList& cache, Hooks hooks);

    // Accepted: the record is retired and its cached form goes; refused: the reason goes to
    // its row and the record stays, so that starting the row again submits it again.
    void submit(const AssetFormData& form);
    // Submits the cached form of `id`, if there is one.
    void submitCached(int id);
    bool isSubmitting(int id) const { return submitting.contains(id); }
    // A deleted record's cached form goes, so that a late reply finds nothing to retire.
    void forget(const QString& file_md5, int id);

    // Attempts of the retiring statement before the record is given up as submitted anyway.
    static constexpr int kRetireAttempts = 4;
    static void setRetireRetryMsForTesting(int ms);

private:
    // Retires an accepted record, trying the statement again a few times when it fails.
    void retireAccepted(int id, const QString& file_md5, int uid, int attempt);

    UploadJobList& cache;
    Hooks hooks;
    QSet<int> submitting;
    // Accepted by the site in this run but not marked as such in the store: never sent again.
    QSet<int> acceptedUnretired;
};
