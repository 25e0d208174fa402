#pragma once

#include "store/AssetRecords.h"
#include "widgets/BaseWidget.h"

class MyRowProgressText;
#include <QDateTime>

class QLabel;
class QProgressBar;
class QPushButton;

// One row of the upload list: the asset's title and subject, the progress of its upload
// job and the buttons that steer it. The row owns the job it hands to the upload engine.
//
// A list may hold a thousand rows of which a dozen are on screen, so the child widgets are
// built only when the list first shows the row (ensureBuilt()); until then the row keeps
// its state and applies it when it is built.
class MyProgressItemWidget : public BaseWidget
{
    Q_OBJECT

public:
    enum class Look { Idle, Waiting, Uploading, Failed };

    explicit MyProgressItemWidget(const AssetFormData& form, QWidget* parent = nullptr);

    // Creates the child widgets (once).
    void ensureBuilt();
    bool isBuilt() const { return built; }

    const AssetFormData& form() const { return formData; }
    const UploadFile& job() const { return uploadJob; }
    bool isActive() const { return active; }
    bool isPausedByUser() const { return pausedByUser; }
    Look look() const { return currentLook; }
    QString rateText() const { return rate; }
    // When the engine will start this failed row again by itself (invalid when it will not).
    QDateTime retryAt() const { return nextTry; }
    // What the row's status means and what comes next, for its tool tip.
    QString statusTip() const;
    // Same row: the job's MD5 and the form's id.
    bool matches(const QString& file_md5, int id) const;

    // The start/pause button: starts an idle row, pauses an active one.
    void toggle();
    // Queues the job unless the row is already waiting or uploading.
    void start();
    void pause();
    void fail(const QString& text);
    // A progress report of the engine for this row.
    void applyProgress(qulonglong loaded, const QString& msg, const QString& uploadRate);
    // Asks and, on confirmation, deletes the asset; the list removes the row on s_delete_item.
    void askDelete();
    // Opens the form for editing while nothing has been sent, else shows it read-only.
    void editOrView();
    void openFolder();
    // Takes the edited metadata of this row's asset (the file facts and progress stay).
    void updateForm(const AssetFormData& form);
    // The site took the metadata: the row reads "上传成功" until the list lets it go.
    void markSucceeded();
    bool isSucceeded() const { return succeeded; }

    // Built children (null before ensureBuilt()).
    QPushButton* startButton() const { return startBtn; }
    QPushButton* deleteButton() const { return delBtn; }
    QPushButton* editButton() const { return editBtn; }
    QPushButton* folderButton() const { return dirBtn; }

    static QString lookStyle(Look look);

signals:
    void s_del();
    // Look or bytes changed (the list's header follows it).
    void s_changed();

private:
    void onStartUpload(QString file_md5, int id);
    void setLook(Look look, const QString& rateLabel);
    void showTexts();
    void showProgress();
    void showReading();
    // The automatic retry after a network failure: shown under the progress, and in the tip.
    void onRetryAt(QString file_md5, int id, QDateTime when);
    void clearRetry();
    void showRetry();

    AssetFormData formData;
    UploadFile uploadJob;
    bool active = false;
    bool pausedByUser = false;
    Look currentLook = Look::Idle;
    QString rate = QStringLiteral("0.00B/s");
    bool succeeded = false;

    bool built = false;
    QLabel* iconLabel = nullptr;
    QLabel* titleLabel = nullptr;
    QLabel* stageLabel = nullptr;
    QProgressBar* bar = nullptr;
    QLabel* sizeLabel = nullptr;
    QLabel* rateLabel = nullptr;
    MyRowProgressText* reading = nullptr;
    QPushButton* startBtn = nullptr;
    QPushButton* delBtn = nullptr;
    QPushButton* editBtn = nullptr;
    QPushButton* dirBtn = nullptr;
    QLabel* markLabel = nullptr;
    QLabel* retryLabel = nullptr;
    QDateTime nextTry;
};
