#pragma once

#include "upload/TransferEstimate.h"

#include <QLabel>

class QTimer;

// The row's reading of its upload beside the bar: "42%  12.3MB / 40MB  剩余约1分20秒", the
// time left only while uploading and once it is known; "上传成功" once the site took the
// metadata.
class MyRowProgressText : public QLabel
{
    Q_OBJECT

public:
    enum class Phase { Idle, Waiting, Uploading, Failed, Succeeded };

    explicit MyRowProgressText(QWidget* parent = nullptr);

    void showState(qint64 loaded, qint64 total, Phase phase);
    Phase phase() const { return current; }

    // The common clock of the upload readings, in milliseconds.
    static qint64 nowMs();
    // "剩余约45秒", "剩余约3分05秒", "剩余约2小时10分"; empty when unknown.
    static QString timeLeftText(qint64 seconds);
    static QString readingText(qint64 loaded, qint64 total, qint64 secondsLeft);

private:
    void refresh();

    TransferEstimate estimate;
    qint64 loadedBytes = 0;
    qint64 totalBytes = 0;
    Phase current = Phase::Idle;
    QTimer* tick = nullptr;
};
