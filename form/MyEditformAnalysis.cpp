// The asset form's background work: fingerprint and duplicate check, text extraction,
// archive listing and repacking, the analysis label, and the textbook versions.

#include "form/DuplicateCheck.h"
#include "form/MyChapterTreeDialog.h"
#include "form/MyEditformWidget.h"
#include "intake/FileTypes.h"
#include "intake/MyArchiveListDialog.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "net/MyOptionItem.h"
#include "widgets/MyMsgBox.h"

#include <QComboBox>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrlQuery>
#include <memory>

namespace {

// Lines of an archive listing the form takes; a longer listing is refused.
constexpr int kMaxListingLines = 1001;

} // namespace

void MyEditformWidget::parseFileByExecTools()
{
    const Ticket generation = loads.latest();
    const QString path = form.file_path;
    QPointer<MyEditformWidget> self(this);
    MyDAO* dao = MyDAO::instance();
    if (isTextFile(fileInfo)) {
        fingerprint(path);
        dao->extractText(path, [self, generation](QString text) {
            if (self)
                self->textArrived(generation, text);
        });
    } else if (isArchiveFile(fileInfo)) {
        isArchive = true;
        auto warning = std::make_shared<QString>();
        dao->readArchive(
            path,
            [self, generation, warning](QString output, bool ok) {
                if (self)
                    self->listingArrived(generation, *warning, output, ok);
            },
            [warning](QString text) { *warning = text; });
    } else {
        fingerprint(path);
        analysisPending = false;
    }
}

void MyEditformWidget::fingerprint(const QString& path)
{
    const Ticket generation = loads.latest();
    QPointer<MyEditformWidget> self(this);
    MyDAO::instance()->fileMd5(path, [self, generation](QString md5) {
        if (self)
            self->md5Arrived(generation, md5);
    });
}

void MyEditformWidget::md5Arrived(Ticket generation, const QString& md5)
{
    if (!current(generation))
        return;
    form.file_md5 = md5;
    md5Pending = false;
    if (md5.isEmpty()) {
        // Unreadable now: nothing to ask the site; saving names the problem, or takes the
        // fingerprint again once the file can be read.
        md5Unreadable = true;
        checkState = 1;
        analysis->setText("文件无法读取，请检查文件是否还在");
        return;
    }
    checkWithSite();
}

void MyEditformWidget::checkWithSite()
{
    checkFailed = false;
    const Ticket generation = loads.latest();
    QPointer<MyEditformWidget> self(this);
    checkFingerprint(form.file_md5, [self, generation](const FingerprintAnswer& answer) {
        if (self)
            self->checkArrived(generation, answer);
    });
}

void MyEditformWidget::checkArrived(Ticket generation, const FingerprintAnswer& answer)
{
    if (!current(generation))
        return;
    switch (answer.verdict) {
    case FingerprintVerdict::New:
        checkState = 1;
        break;
    case FingerprintVerdict::Known:
        checkState = 2;
        if (tell(answer.text))
            emit s_edit_next();
        break;
    case FingerprintVerdict::Failed:
        // No verdict is no duplicate: the file stays in the form, and saving asks again.
        checkFailed = true;
        analysis->setText(answer.text);
        MyMsgBox::alert(answer.text, this);
        break;
    }
}

void MyEditformWidget::textArrived(Ticket generation, const QString& text)
{
    if (!current(generation))
        return;
    if (text.isEmpty())
        analysis->setText("资源文本内容为空或解析失败！");
    form.file_text = text;
    textExtracted = true;
    analysisPending = false;
    // The text check needs text to compare.
    repeatBtn->setVisible(!text.trimmed().isEmpty());
}

bool MyEditformWidget::warningApplied(Ticket generation, const QString& warning)
{
    if (warning.isEmpty() || !current(generation))
        return false;
    analysisPending = false;
    archiveWarning = warning;
    if (tell(warning))
        emit s_edit_next();
    return true;
}

bool MyEditformWidget::archiveStepArrived(Ticket generation, const QString& warning, bool ok)
{
    if (!current(generation) || warningApplied(generation, warning))
        return false;
    md5Pending = analysisPending = false;
    if (!ok) {
        checkState = 1;
        archiveOk = false;
    }
    return true;
}

void MyEditformWidget::listingArrived(Ticket generation, const QString& warning, const QString& output, bool ok)
{
    if (!archiveStepArrived(generation, warning, ok))
        return;
    if (!ok) {
        archiveEncrypted = output.contains("Enter password");
        analysis->hide();
        return;
    }
    form.file_text = "压缩包文件列表：\r\n---\r\n" + output;
    const QStringList lines = output.split(QRegularExpression("\r?\n"));
    if (lines.size() > kMaxListingLines) {
        // Nothing could ever be saved for it; say so and go on with the batch.
        checkState = 1;
        analysisTimer->stop();
        analysis->hide();
        if (tell(QString("压缩包%1内的文件和目录超过%2个，无法上传\r\n请分成几个压缩包后再上传")
                     .arg(form.file_name)
                     .arg(kMaxListingLines - 1)))
            emit s_edit_next();
        return;
    }
    archiveEntries = parseArchiveEntries(output, kMaxListingLines);
    reorganize(form.file_path);
}

void MyEditformWidget::reorganize(QString absFile)
{
    const Ticket generation = loads.latest();
    QPointer<MyEditformWidget> self(this);
    auto warning = std::make_shared<QString>();
    MyDAO::instance()->repackArchive(
        absFile,
        [self, generation, warning](QString path, bool ok) {
            if (self)
                self->repackArrived(generation, *warning, path, ok);
        },
        [warning](QString text) { *warning = text; });
}

void MyEditformWidget::repackArrived(Ticket generation, const QString& warning, const QString& path, bool ok)
{
    // On failure `path` is an error word; the form keeps the archive it has.
    if (!archiveStepArrived(generation, warning, ok) || !ok)
        return;
    applyFileInfo(QFileInfo(path));
    fingerprint(form.file_path);
    archiveOk = true;
}

void MyEditformWidget::tick()
{
    if (md5Pending || analysisPending || (checkState == 0 && !checkFailed)) {
        dots = dots % 3 + 1;
        analysis->setText(
            QString("%1%2").arg(isArchive ? "正在分析压缩文件" : "正在分析上传文件", QString(" .").repeated(dots)));
        return;
    }
    finishAnalysis();
}

void MyEditformWidget::finishAnalysis()
{
    analysisTimer->stop();
    // A failed extraction keeps its note; otherwise there is nothing more to say.
    // A failed check keeps its note, so that the author knows why saving asks again.
    if (!checkFailed && !(textExtracted && form.file_text.isEmpty()) && !(form.file_md5.isEmpty() && !isArchive))
        analysis->hide();
    if (isArchive)
        archiveBtn->show();
}

void MyEditformWidget::showArchive()
{
    if (archiveOk) {
        MyMsgBox::runDialog(new MyArchiveListDialog(archiveEntries, window()), this);
        return;
    }
    MyMsgBox::alert(archiveWarning.isEmpty() ? QString("无效压缩包，解析失败\r\n请重新压缩后上传") : archiveWarning,
                    this);
}

void MyEditformWidget::showVersionCombo(int nShow, bool resetVersionId)
{
    if (resetVersionId)
        form.versionid = 0;
    versionBox->show();
    versionText->hide();
    versionBox->setToolTip(QString());
    const Ticket generation = versions.next();
    if (nShow == 0) {
        QSignalBlocker block(versionBox);
        versionBox->clear();
        addOption(versionBox, MyOptionItem { "请选择", 0 });
        return;
    }
    if (nShow == 2)
        versionBox->hide();
    QUrlQuery query;
    query.addQueryItem("stage", QString::number(form.xueduanid));
    query.addQueryItem("subject_id", QString::number(form.chid));
    QPointer<MyEditformWidget> self(this);
    MyDAO::instance()->httpGet(
        URL_VERSION, query,
        [self, generation, nShow, resetVersionId](QJsonObject& reply) {
            // Only the latest request of the form counts.
            if (self && self->versions.isCurrent(generation))
                self->fillVersions(reply, nShow, resetVersionId);
        },
        // The guard above drops the reply once this widget is gone.
        nullptr);
}

void MyEditformWidget::fillVersions(const QJsonObject& reply, int nShow, bool resetVersionId)
{
    const bool good
        = reply.value("code").isDouble() && reply.value("code").toInt() == 0 && reply.value("data").isObject();
    QList<MyOptionItem> versions;
    for (const QJsonValue& v : reply.value("data").toObject()) {
        const QJsonObject o = v.toObject();
        bool ok = false;
        const int id = o.value("bookversionid").toVariant().toString().toInt(&ok);
        if (ok && o.value("bookversionname").isString())
            versions.append(MyOptionItem { o.value("bookversionname").toString(), id });
    }
    if (nShow == 2) {
        // The chapter names its textbook; that holds even when the list could not be had.
        form.versionid = form.bookversionid;
        QString name = lastVersionName;
        for (const MyOptionItem& v : qAsConst(versions)) {
            if (name.isEmpty() && v.value == form.bookversionid)
                name = v.text;
        }
        versionText->setText(name.isEmpty() ? QString("版本编号%1").arg(form.bookversionid) : name);
        versionText->show();
        return;
    }
    const int keep = form.versionid;
    {
        QSignalBlocker block(versionBox);
        versionBox->clear();
        addOption(versionBox, MyOptionItem { "请选择", 0 });
        for (const MyOptionItem& v : qAsConst(versions))
            addOption(versionBox, v);
        if (!good)
            versionBox->setToolTip("版本列表未能取得，请稍后重新选择栏目");
        if (!resetVersionId && keep != 0) {
            int index = -1;
            for (int i = 0; i < versionBox->count() && index < 0; ++i) {
                if (optionValueAt(versionBox, i) == keep)
                    index = i;
            }
            if (index < 0) {
                // Stored, but no longer offered: shown as it is rather than silently dropped.
                addOption(versionBox, MyOptionItem { QString("原选版本（编号%1）").arg(keep), keep });
                index = versionBox->count() - 1;
            }
            versionBox->setCurrentIndex(index);
        } else {
            versionBox->setCurrentIndex(0);
        }
    }
    form.versionid = optionValue(versionBox);
}
