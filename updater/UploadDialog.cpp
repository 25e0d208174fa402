#include "UploadDialog.h"

#include "ExeReplacer.h"
#include "HandOff.h"
#include "InstallFolder.h"
#include "MySingleApplication.h"
#include "ReleaseCheck.h"
#include "Util.h"
#include "VersionFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLocalSocket>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtDebug>
#include <memory>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <cerrno>
#include <signal.h>
#endif

namespace {

const char* const kNormalBar = "QProgressBar{ border: none; color: white; text-align: center; background: #ccc; } "
                               "QProgressBar::chunk { border: none; background: #01945d; }";
const char* const kGreyBar = "QProgressBar{ border: none; color: white; text-align: center; background: #ccc; } "
                             "QProgressBar::chunk { border: none; background: #999; }";

// How many of the updater's seconds the new program has to reach its login dialog; a program
// still silent then is taken for a wrong or broken one.
constexpr int kStartLimitSeconds = 60;

void sleepInLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool processAlive(qint64 pid)
{
#if defined(Q_OS_WIN)
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!h)
        return false;
    DWORD code = 0;
    const bool alive = GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
    CloseHandle(h);
    return alive;
#else
#ifdef Q_OS_LINUX
    // A program that died but was not reaped yet still answers kill(); its state tells.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const int end = line.lastIndexOf(')');
        if (end >= 0 && end + 2 < line.size())
            return line.at(end + 2) != 'Z' && line.at(end + 2) != 'X';
    }
#endif
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}

// Ends a program this updater started and waits until it is gone, so that its file is free
// and its local server does not turn the old program away.
void endProcess(qint64 pid)
{
#if defined(Q_OS_WIN)
    HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, DWORD(pid));
    if (!h)
        return;
    TerminateProcess(h, 1);
    WaitForSingleObject(h, 10000);
    CloseHandle(h);
#else
    ::kill(pid_t(pid), SIGKILL);
    for (int i = 0; i < 100 && processAlive(pid); ++i)
        sleepInLoop(50);
#endif
}

// True when the client behind the main program's local server says it is up.
bool clientStarted()
{
    QLocalSocket socket;
    socket.connectToServer(MySingleApplication::mainServerName(), QIODevice::ReadWrite);
    if (!socket.waitForConnected(500))
        return false;
    socket.write(HandOff::kStartedQuery);
    if (!socket.waitForBytesWritten(500))
        return false;
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(1000))
        answer += socket.readAll();
    return answer == HandOff::kStartedAnswer;
}

} // namespace

UploadDialog::UploadDialog(QWidget* parent)
    : QDialog(parent)
{
    const bool dev
        = QProcessEnvironment::systemEnvironment().value(QStringLiteral("VANTREL_ENV")) == QLatin1String("dev");
    versionUrl = Util::websiteBase()
        + (dev ? QStringLiteral("/nsoft/toolupload/version_2.json") : QStringLiteral("/nsoft/toolupload/version.json"));

    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    setMinimumSize(550, 330);
    setObjectName(QStringLiteral("uploadDialog"));
    setWindowTitle(QStringLiteral("Zentrel更新 %1").arg(latestVersion));
    setStyleSheet(QStringLiteral(
        "#uploadDialog { background:#f2f2f2 url(:/resource/images/bg.png) no-repeat center center; }  "
        "QPushButton {border: none; background: url(:/resource/images/close_dia.png) no-repeat center center;} "
        "QPushButton:hover {background-image: url(:/resource/images/close_hover.png); }"
        "QLabel {color: #666;font-size:14px;} "));

    closeBtn = new QPushButton(this);
    closeBtn->setGeometry(520, 10, 20, 20);
    closeBtn->setCursor(Qt::PointingHandCursor);
    closeBtn->hide();
    connect(closeBtn, &QPushButton::clicked, this, &QDialog::close);

    titleLabel = new QLabel(QStringLiteral("Zentrel更新版本 %1").arg(latestVersion), this);
    titleLabel->setGeometry(15, 15, 300, 20);

    progressBar = new QProgressBar(this);
    progressBar->move(10, 270);
    progressBar->setFixedSize(530, 4);
    progressBar->setRange(0, 100);
    progressBar->setTextVisible(false);
    progressBar->setValue(0);
    progressBar->setStyleSheet(QString::fromUtf8(kNormalBar));

    statusLabel = new QLabel(QStringLiteral("小主，我正在更新 ..."), this);
    statusLabel->setGeometry(15, 285, 400, 20);

    connect(this, &QDialog::finished, this, [this] {
        if (!handingOff)
            emit s_finished();
    });
}

UploadDialog::~UploadDialog()
{
    delete replacer;
}

void UploadDialog::showProgress(int value)
{
    progressValue = value;
    progressBar->setValue(qMin(value, 100));
}

void UploadDialog::setStatus(const QString& text)
{
    statusLabel->setText(text);
    qInfo().noquote() << "status:" << text;
}

bool UploadDialog::isMainRunning() const
{
    QLocalSocket socket;
    socket.connectToServer(MySingleApplication::mainServerName(), QIODevice::ReadWrite);
    return socket.waitForConnected(500);
}

bool UploadDialog::waitForExit(int n)
{
    if (n <= 0)
        return false;
    if (!isMainRunning())
        return true;
    // The hand-off protocol: the main program gets its full 2.5 s to end.
    sleepInLoop(500);
    showProgress(progressValue + 5);
    return waitForExit(n - 1);
}

void UploadDialog::upgrade()
{
    if (!waitForExit(5)) {
        progressBar->setStyleSheet(QString::fromUtf8(kGreyBar));
        closeBtn->show();
        setStatus(QStringLiteral("小主，程序更新失败，解决办法：退出主程序，重新安装程序!"));
        return;
    }
    // Whatever an earlier run left half done is finished or undone before anything is fetched.
    for (const QString& line :
         InstallFolder(QCoreApplication::applicationDirPath()).recover(InstallFolder::Unproven::Undo))
        qInfo().noquote() << "at start:" << line;

    progressTimer = new QTimer(this);
    progressTimer->setInterval(Util::secondMs() / 2);
    connect(progressTimer, &QTimer::timeout, this, &UploadDialog::tick);
    progressTimer->start();
    getLatestVersion();
}

void UploadDialog::tick()
{
    const int v = progressValue;
    if (v >= 100) {
        showProgress(v);
        failUpdate();
        return;
    }
    int next = v + 10;
    if (v == 60)
        next = 60;
    else if (v == 80 || v == 81)
        next = 81;
    else if (v >= 90)
        next = 98;
    showProgress(next);
}

void UploadDialog::getLatestVersion()
{
    Util::requestGet(versionUrl, [this](int status, QByteArray body, qint64) {
        const PublishedVersion published = readVersionFile(body);
        if (status != 200 || !published.readable) {
            qWarning().noquote() << "version file: status" << status;
            failUpdate();
            return;
        }
        latestVersion = published.version;
        // It goes into a URL and a file name.
        if (!ReleaseCheck::isVersion(latestVersion)) {
            qWarning().noquote() << "version file: not a version:" << latestVersion.left(80);
            latestVersion.clear();
            failUpdate();
            return;
        }
        // A site may publish the SHA-256 and the signature of each version's program beside
        // the version list.
        publishedDigest = published.sha256;
        publishedSignature = published.signature;
        showProgress(61);
        setWindowTitle(QStringLiteral("Zentrel更新 %1").arg(latestVersion));
        titleLabel->setText(QStringLiteral("Zentrel更新版本 %1").arg(latestVersion));
        getSoft(latestVersion);
    });
}

void UploadDialog::getSoft(const QString& version)
{
    const QString url
        = Util::websiteBase() + QStringLiteral("/nsoft/toolupload/") + version + QStringLiteral("/Vantrel.exe");
    Util::requestGet(url, [this, version](int status, QByteArray body, qint64 announced) {
        if (failed)
            return;
        if (status != 200) {
            qWarning().noquote() << "download: status" << status;
            failUpdate();
            return;
        }
        showProgress(82);

        // Nothing is written unless the body is whole, runnable here and, when this build
        // trusts a release key, signed with it.
        const QString problem
            = ReleaseCheck::judge(body, announced, publishedDigest, publishedSignature, ReleaseCheck::builtInKey());
        if (!problem.isEmpty()) {
            qWarning().noquote() << "download refused:" << problem;
            failUpdate();
            return;
        }
        delete replacer;
        replacer = new ExeReplacer(QCoreApplication::applicationDirPath(), version);
        if (!replacer->writeDownload(body)) {
            qWarning().noquote() << replacer->error();
            failUpdate();
            return;
        }
        showProgress(98);
        if (!replacer->swapIn()) {
            qWarning().noquote() << replacer->error();
            showProgress(98);
            failUpdate();
            return;
        }
        showProgress(100);
        handOff();
    });
}

void UploadDialog::handOff()
{
    handingOff = true;
    if (progressTimer)
        progressTimer->stop();
    close();
    // The new program would take this updater for an update still running and end at once.
    if (auto* app = qobject_cast<MySingleApplication*>(QCoreApplication::instance()))
        app->stopListening();

    qint64 pid = 0;
    const QString program = replacer->mainPath();
    if (!QProcess::startDetached(program, QStringList(), QCoreApplication::applicationDirPath(), &pid)) {
        rollBackAndWarn(QStringLiteral("cannot start the new program"));
    } else if (!startedAndWell(pid)) {
        endProcess(pid);
        rollBackAndWarn(QStringLiteral("the new program did not come up"));
    } else if (!replacer->dropBackup()) {
        qWarning().noquote() << replacer->error();
    }
    emit s_finished();
}

bool UploadDialog::startedAndWell(qint64 pid)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 limit = qint64(kStartLimitSeconds) * Util::secondMs();
    while (clock.elapsed() < limit) {
        if (clientStarted())
            return true;
        if (!processAlive(pid))
            return false;
        sleepInLoop(100);
    }
    return false;
}

void UploadDialog::rollBackAndWarn(const QString& reason)
{
    qWarning().noquote() << reason;
    if (replacer->rollBack())
        QProcess::startDetached(replacer->mainPath(), QStringList(), QCoreApplication::applicationDirPath());
    else
        qWarning().noquote() << replacer->error();
    const QString text = QStringLiteral("更新失败\n解决办法：直接官网下载最新的程序安装包!");
    qWarning().noquote() << "warning:" << text;
    QMessageBox::warning(nullptr, QStringLiteral("警告信息"), text, QMessageBox::Ok);
}

void UploadDialog::failUpdate()
{
    if (failed)
        return;
    failed = true;
    startCountdown(8);
    if (progressTimer)
        progressTimer->stop();
    progressBar->setStyleSheet(QString::fromUtf8(kGreyBar));
}

void UploadDialog::startCountdown(int n)
{
    closeBtn->show();
    auto* timer = new QTimer(this);
    timer->setInterval(Util::secondMs());
    auto counter = std::make_shared<int>(n);
    connect(timer, &QTimer::timeout, this, [this, timer, counter] {
        if (*counter < 0) {
            timer->stop();
            close();
            return;
        }
        setStatus(QStringLiteral("小主，更新失败，(%1)秒后退出！").arg(*counter));
        --*counter;
    });
    timer->start();
}
