#pragma once

#include <QDialog>
#include <QString>

class ExeReplacer;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// The updater's window and the whole update run: wait for the main program to end, read the
// published version, download that version's program, check it, swap it in and start it.
class UploadDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UploadDialog(QWidget* parent = nullptr);
    ~UploadDialog() override;

    // Returns once the first request is out; the rest happens in callbacks.
    void upgrade();
    void getLatestVersion();
    void getSoft(const QString& version);
    void failUpdate();
    void startCountdown(int n);
    bool isMainRunning() const;

signals:
    // The run is over (window closed and, after a swap, the new program judged): time to quit.
    void s_finished();

private:
    // true when the main program is gone within n probes.
    bool waitForExit(int n);
    void tick();
    void showProgress(int value);
    void setStatus(const QString& text);
    // Starts the installed program; falls back to the old one when the new one does not
    // reach its login dialog.
    void handOff();
    bool startedAndWell(qint64 pid);
    void rollBackAndWarn(const QString& reason);

    QTimer* progressTimer = nullptr;
    QProgressBar* progressBar = nullptr;
    int progressValue = 0;
    QPushButton* closeBtn = nullptr;
    QLabel* statusLabel = nullptr;
    QString latestVersion;
    QLabel* titleLabel = nullptr;
    QString versionUrl;

    // SHA-256 and Ed25519 signature the version file publishes for the latest version (empty: none).
    QString publishedDigest;
    QByteArray publishedSignature;
    ExeReplacer* replacer = nullptr;
    bool failed = false;
    bool handingOff = false;
};
