#pragma once

#include "form/AssetTypeTreeNode.h"
#include "form/DuplicateCheck.h"
#include "intake/ArchiveEntry.h"
#include "net/LatestRequest.h"
#include "store/AssetRecords.h"
#include "widgets/BaseWidget.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QList>
#include <QString>

class MyAssetTypeDialog;
class MyBreadWidget;
class MyCategoryItemNode;
class MyChapterTreeDialog;
class MyLinkDistrictWidget;
class QButtonGroup;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class XdChidItemWidgets;

// The asset form: the metadata of one file at a time. A batch reuses one form, so what the
// author chose for one file stays for the next; the file is analysed in the background
// (fingerprint and duplicate check, text or archive listing and repacking).
class MyEditformWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyEditformWidget(QWidget* parent = nullptr);
    ~MyEditformWidget() override;

    // Loads a new file; `remaining` is the number of paths still waiting after it. False:
    // the file was refused and s_edit_next has been emitted already.
    bool loadFile(const QString& path, int remaining);
    // Loads a stored record for editing.
    bool loadForm(AssetFormData& data);
    // Reads the widgets into the record and checks it; the message may be empty.
    bool collectForm(QString& message);
    bool checkBeforeSave();
    void autoFillStageSubject();
    // The stage of the first "xd" rule in `rules` (rule.json) with a keyword in the title; 0 for none.
    static int stageFromTitle(const QJsonObject& rules, const QString& title);
    void parseFileByExecTools();

    // ---- state, read by the page and by tests ----
    const AssetFormData& formData() const { return form; }
    bool md5Pending = false;
    bool analysisPending = false;
    int checkState = 0;
    bool textExtracted = false;
    bool isArchive = false;
    bool archiveOk = false;
    bool archiveEncrypted = false;
    QString archiveWarning;
    QList<ArchiveEntry> archiveEntries;
    bool stageArmed = false;
    // The last fingerprint check got no answer from the site: the file stays, and saving
    // asks again.
    bool checkFailed = false;
    // The file could not be read when it was fingerprinted.
    bool md5Unreadable = false;

    QList<AssetTypeTreeNode> selectedTypes() const { return types; }
    MyAssetTypeDialog* typeDialog() const { return assetTypeDialog; }
    MyChapterTreeDialog* chapterDialog() const { return chapterTreeDialog; }
    MyLinkDistrictWidget* districtWidget() const { return district; }
    XdChidItemWidgets* stageSubject() const { return xdChid; }
    QComboBox* versionCombo() const { return versionBox; }
    QLabel* versionLabel() const { return versionText; }
    QLabel* analysisLabel() const { return analysis; }
    QLabel* chapterLabel() const { return chapterText; }

    // Longest title the website takes.
    static constexpr int kMaxTitleLength = 100;

signals:
    void s_back_2_list();
    void s_edit_next();
    void s_version_combo(int bookversionid);

public slots:
    void showVersionCombo(int nShow, bool resetVersionId);
    void showVersionCombo(int nShow) { showVersionCombo(nShow, true); }
    void reorganize(QString absFile);
    // "上传" (start) and "保存".
    void save(bool start);
    // "取消".
    void cancel();
    // "选择栏目".
    void selectChapter();
    // "查重": the text duplicate check.
    void runTextCheck();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void doRender();
    QWidget* addRow(const QString& label, QWidget* content);
    void resetState();
    void applyFileInfo(const QFileInfo& info);
    void setTypes(const QList<AssetTypeTreeNode>& nodes);
    void removeChip(MyCategoryItemNode* chip);
    void checkFlag(int value);
    void showPremiumMessage();
    void clearChapter();
    void stageSubjectChanged();
    void tick();
    void finishAnalysis();
    void showArchive();
    void fillVersions(const QJsonObject& reply, int nShow, bool resetVersionId);
    void selectByValue(QComboBox* combo, int value);
    void focusInvalidField(const QString& message);
    int typeLimit() const;

    // Shows `text` for the form; false when the form went while the box was open (then
    // nothing more of it may be touched).
    bool tell(const QString& text);

    // Asynchronous results: each carries the ticket of the load it was started for.
    using Ticket = LatestRequest::Ticket;
    bool current(Ticket generation) const { return loads.isCurrent(generation); }
    void md5Arrived(Ticket generation, const QString& md5);
    void textArrived(Ticket generation, const QString& text);
    void listingArrived(Ticket generation, const QString& warning, const QString& output, bool ok);
    void repackArrived(Ticket generation, const QString& warning, const QString& path, bool ok);
    void checkArrived(Ticket generation, const FingerprintAnswer& answer);
    // Asks the site about the current fingerprint (again, after a failed check).
    void checkWithSite();
    void fingerprint(const QString& path);
    // The archive tools tell each run's refusal to that run alone, right before its callback,
    // which gets it as `warning`: a run of an earlier load or of another form never speaks here.
    bool warningApplied(Ticket generation, const QString& warning);
    // How a listing or repack callback starts: false when the reply belongs to an earlier load
    // or the run's warning was shown. Otherwise the analysis is no longer pending and, when the
    // step failed (`ok` false), the archive is marked unusable.
    bool archiveStepArrived(Ticket generation, const QString& warning, bool ok);

    AssetFormData form;
    QFileInfo fileInfo;
    QList<AssetTypeTreeNode> types;
    // The file loaded now, and the latest request for textbook versions.
    LatestRequest loads;
    LatestRequest versions;
    int dots = 0;
    QString lastVersionName;

    MyAssetTypeDialog* assetTypeDialog = nullptr;
    MyChapterTreeDialog* chapterTreeDialog = nullptr;
    MyBreadWidget* bread = nullptr;
    QLineEdit* titleEdit = nullptr;
    QWidget* typeRow = nullptr;
    QHBoxLayout* typeLayout = nullptr;
    QList<MyCategoryItemNode*> chips;
    QPushButton* addTypeBtn = nullptr;
    QButtonGroup* flagGroup = nullptr;
    QList<QRadioButton*> flagRadios;
    QPushButton* tegongFaq = nullptr;
    QLabel* tegongHint = nullptr;
    XdChidItemWidgets* xdChid = nullptr;
    QPushButton* chapterBtn = nullptr;
    QLabel* chapterText = nullptr;
    QComboBox* versionBox = nullptr;
    QLabel* versionText = nullptr;
    QComboBox* copyrightBox = nullptr;
    MyLinkDistrictWidget* district = nullptr;
    QComboBox* starsBox = nullptr;
    QPushButton* uploadBtn = nullptr;
    QPushButton* saveBtn = nullptr;
    QPushButton* cancelBtn = nullptr;
    QLabel* anymoreTip = nullptr;
    QPushButton* archiveBtn = nullptr;
    QPushButton* repeatBtn = nullptr;
    QLabel* analysis = nullptr;
    QTimer* analysisTimer = nullptr;
    class QVBoxLayout* rows = nullptr;
};
