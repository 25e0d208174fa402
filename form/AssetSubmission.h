#pragma once

// The submission of an uploaded asset's metadata to the site (MyDAO::saveUploadFile). The
// pieces below are what MyDAO sends and how it reads the answer.

#include "store/AssetRecords.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>

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
