#pragma once

// The site's two duplicate checks. The fingerprint check runs for every file once its MD5
// is known and decides whether the file may be uploaded; the text check runs on "查重" for
// a document's extracted text and only informs the author.

#include "store/AssetRecords.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QPair>
#include <QString>
#include <functional>

class QAbstractButton;
class QWidget;

// ---- fingerprint check ----
enum class FingerprintVerdict {
    New, // the site does not have the file
    Known, // the site has it: the file is skipped
    Failed, // no verdict (the request failed): the file stays and is checked again
};
struct FingerprintAnswer
{
    FingerprintVerdict verdict = FingerprintVerdict::Failed;
    QString text; // what to tell the author (empty for New)
};
FingerprintAnswer judgeFingerprintReply(const QJsonObject& reply);
// Asks the site about `md5`; `done` runs later on the GUI thread. The caller drops the
// answer when it no longer holds the same file.
void checkFingerprint(const QString& md5, std::function<void(const FingerprintAnswer&)> done);

// ---- text check ----
// Why "查重" cannot run now, in the order the author should hear it; empty when it can.
// `collectStageSubject` (the form's collecting, returning stage and subject) runs only once
// the checks before it have passed.
QString textCheckRefusal(bool analysing, bool knownToSite, const QString& fileText,
                         const std::function<QPair<int, int>()>& collectStageSubject);
QJsonObject textCheckBody(const AssetFormData& form);
struct TextCheckAnswer
{
    bool similar = false; // true: `resources` lists them
    QString text; // the message otherwise
    QJsonArray resources;
};
TextCheckAnswer judgeTextCheckReply(const QJsonObject& reply);
// Sends the text check of `form` with `button` disabled until the answer, then shows the
// answer for `parent`: a message, or the dialog of similar resources. Nothing happens with an
// answer that arrives after `parent` is gone or, when `wanted` is given, once it says false
// (the form has moved on to another file).
void sendTextCheck(QWidget* parent, QAbstractButton* button, const AssetFormData& form,
                   std::function<bool()> wanted = {});
