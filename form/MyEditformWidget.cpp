#include "form/MyEditformWidget.h"

#include "form/MyAssetTypeDialog.h"
#include "form/MyCategoryItemNode.h"
#include "form/MyChapterTreeDialog.h"
#include "form/MyLinkDistrictWidget.h"
#include "form/XdChidItemWidgets.h"
#include "intake/FileTypes.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "net/MyOptionItem.h"
#include "widgets/MyBreadWidget.h"
#include "widgets/MyMsgBox.h"
#include "widgets/PlainText.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char* const kTegongContact = "800012345";

QComboBox* fixedCombo(QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->setFixedWidth(120);
    combo->setView(new QListView(combo));
    return combo;
}

QPushButton* iconButton(const QString& text, const QString& icon, const QString& name, QWidget* parent)
{
    auto* b = new QPushButton(QIcon(icon), text, parent);
    b->setObjectName(name);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

} // namespace

MyEditformWidget::MyEditformWidget(QWidget* parent)
    : BaseWidget(parent)
{
    setObjectName("editform_widget");
    assetTypeDialog = new MyAssetTypeDialog(this);
    chapterTreeDialog = new MyChapterTreeDialog(this);
    analysisTimer = new QTimer(this);
    analysisTimer->setInterval(300);
    connect(analysisTimer, &QTimer::timeout, this, &MyEditformWidget::tick);
    doRender();

    connect(assetTypeDialog, &MyAssetTypeDialog::add_type, this, &MyEditformWidget::setTypes);
    connect(this, &MyEditformWidget::s_version_combo, this, [this](int b) { showVersionCombo(b != 0 ? 2 : 1, true); });
}

MyEditformWidget::~MyEditformWidget() = default;

QWidget* MyEditformWidget::addRow(const QString& label, QWidget* content)
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    auto* name = new QLabel(label, row);
    name->setFixedWidth(90);
    name->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    name->setStyleSheet("color: #666");
    layout->addWidget(name);
    content->setParent(row);
    // The title takes the whole row; fixed-width pickers stay by their labels.
    if (qobject_cast<QLineEdit*>(content))
        layout->addWidget(content, 1);
    else
        layout->addWidget(content, 1, Qt::AlignLeft | Qt::AlignVCenter);
    rows->addWidget(row);
    return row;
}

void MyEditformWidget::doRender()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 20);
    outer->setSpacing(0);
    bread = new MyBreadWidget("当前位置：上传列表 / 资料详情 ", this);
    bread->setObjectName("asset_bread");
    bread->setContentsMargins(30, 0, 30, 0);
    // Leaving the form drops what was typed, so the back button asks first.
    connect(bread, &MyBreadWidget::goback, this, [this] {
        if (MyMsgBox::confirm("确定退出编辑吗？", this) == 1)
            emit s_back_2_list();
    });
    outer->addWidget(bread);

    rows = new QVBoxLayout;
    rows->setContentsMargins(30, 20, 30, 10);
    rows->setSpacing(16);
    outer->addLayout(rows);

    // 1. title
    titleEdit = new QLineEdit;
    titleEdit->setObjectName("asset_title_input");
    titleEdit->setPlaceholderText("请输入资料标题...");
    addRow("资料标题：", titleEdit);

    // 2. types: chips, then "添加"
    typeRow = new QWidget;
    typeLayout = new QHBoxLayout(typeRow);
    typeLayout->setContentsMargins(0, 0, 0, 0);
    typeLayout->setSpacing(8);
    addTypeBtn = iconButton("添加", ":/images/add_word.png", "add_category_item", typeRow);
    typeLayout->addWidget(addTypeBtn);
    typeLayout->addStretch();
    addRow("资料类型：", typeRow);
    connect(addTypeBtn, &QPushButton::clicked, this, [this] {
        assetTypeDialog->setLimit(typeLimit());
        QList<AssetTypeItem> items;
        for (const AssetTypeTreeNode& n : qAsConst(types))
            items.append(toTypeItem(n));
        assetTypeDialog->checkTypes(items);
        MyMsgBox::runDialog(assetTypeDialog, this, false);
    });

    // 3. class
    auto* flagRow = new QWidget;
    auto* flagLayout = new QHBoxLayout(flagRow);
    flagLayout->setContentsMargins(0, 0, 0, 0);
    flagLayout->setSpacing(16);
    flagGroup = new QButtonGroup(this);
    const QList<QPair<QString, int>> flags { { "普通", 6 }, { "精品", 5 }, { "特供(首发试卷)", 15 } };
    for (const auto& f : flags) {
        auto* radio = new QRadioButton(f.first, flagRow);
        radio->setObjectName("isjin_item");
        radio->setProperty("value", f.second);
        flagGroup->addButton(radio);
        flagRadios.append(radio);
        if (f.second == 15)
            flagLayout->addSpacing(30);
        flagLayout->addWidget(radio);
        connect(radio, &QRadioButton::clicked, this, [this, radio] {
            if (radio->property("value").toInt() == 5 && !MyDAO::instance()->currentLogin().team_status)
                showPremiumMessage();
        });
    }
    tegongFaq = iconButton(QString(), ":/images/help.png", "TegongFaq", flagRow);
    tegongFaq->setFlat(true);
    tegongFaq->setFixedSize(20, 20);
    tegongFaq->installEventFilter(this);
    flagLayout->addWidget(tegongFaq);
    tegongHint = new QLabel(QString("限传综合考试全科试卷，上传前需联系QQ：%1").arg(kTegongContact), flagRow);
    tegongHint->setStyleSheet("border:1px solid #f60;color:#f60;font-size:12px;padding:3px;border-radius:3px;");
    tegongHint->hide();
    flagLayout->addWidget(tegongHint);
    flagLayout->addStretch();
    addRow("资料类别：", flagRow);
    if (MyDAO::instance()->currentLogin().team_status) {
        flagRadios.at(1)->setChecked(true);
        form.flag = 5;
    } else {
        flagRadios.at(1)->setCheckable(false);
        flagRadios.at(0)->setChecked(true);
        form.flag = 6;
    }

    // 4. stage and subject
    xdChid = new XdChidItemWidgets(0, 0);
    addRow("学段学科：", xdChid);
    connect(xdChid, &XdChidItemWidgets::s_changed, this, &MyEditformWidget::stageSubjectChanged);

    // 5. chapter
    auto* chapterRow = new QWidget;
    auto* chapterLayout = new QHBoxLayout(chapterRow);
    chapterLayout->setContentsMargins(0, 0, 0, 0);
    chapterLayout->setSpacing(10);
    chapterBtn = iconButton("选择栏目", ":/images/add_word.png", "select_category_btn", chapterRow);
    chapterLayout->addWidget(chapterBtn);
    chapterText = makePlain(new QLabel(chapterRow));
    chapterText->setObjectName("catname_path");
    chapterText->hide();
    chapterLayout->addWidget(chapterText);
    chapterLayout->addStretch();
    addRow("资料栏目：", chapterRow);
    connect(chapterBtn, &QPushButton::clicked, this, &MyEditformWidget::selectChapter);

    // 6. textbook version: the combo, or the label when the chapter fixes it
    auto* versionRow = new QWidget;
    auto* versionLayout = new QHBoxLayout(versionRow);
    versionLayout->setContentsMargins(0, 0, 0, 0);
    versionBox = fixedCombo(versionRow);
    versionText = makePlain(new QLabel(versionRow));
    versionText->setObjectName("version_label");
    versionText->hide();
    versionLayout->addWidget(versionBox);
    versionLayout->addWidget(versionText);
    versionLayout->addStretch();
    addRow("资料版本：", versionRow);
    connect(versionBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { form.versionid = optionValueAt(versionBox, index); });
    showVersionCombo(0, true);

    // 7. copyright
    copyrightBox = fixedCombo(nullptr);
    const QJsonObject copyright = MyDAO::instance()->resourceObject().value("copyrighttype").toObject();
    for (auto it = copyright.begin(); it != copyright.end(); ++it)
        addOption(copyrightBox, MyOptionItem { it.value().toString(), it.key().toInt() });
    if (copyrightBox->count() > 2)
        copyrightBox->setCurrentIndex(2);
    addRow("资料属性：", copyrightBox);

    // 8. region
    district = new MyLinkDistrictWidget;
    addRow("适用地区：", district);
    connect(district, &MyLinkDistrictWidget::s_autoFillResult, this, [this](bool ok) {
        if (!ok)
            district->setRegion(form.fitprovince, form.fitcity, form.fitdist, form.fitname);
    });

    // 9. stars
    starsBox = fixedCombo(nullptr);
    for (int i = 0; i <= 10; ++i)
        addOption(starsBox, MyOptionItem { QString("%1 星").arg(i), i });
    addRow("自评星级：", starsBox);

    // buttons and state
    auto* bar = new QWidget(this);
    bar->setObjectName("editform_btns");
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(130, 10, 30, 0);
    barLayout->setSpacing(16);
    uploadBtn = new QPushButton("上传", bar);
    uploadBtn->setObjectName("upload_btn");
    saveBtn = new QPushButton("保存", bar);
    saveBtn->setObjectName("save_btn");
    cancelBtn = new QPushButton("取消", bar);
    cancelBtn->setObjectName("cancel_btn");
    for (QPushButton* b : { uploadBtn, saveBtn, cancelBtn }) {
        b->setCursor(Qt::PointingHandCursor);
        barLayout->addWidget(b);
    }
    anymoreTip = new QLabel(bar);
    anymoreTip->setObjectName("anymore_tip");
    anymoreTip->hide();
    barLayout->addWidget(anymoreTip);
    archiveBtn = new QPushButton("查看压缩包", bar);
    archiveBtn->setObjectName("archive_btn");
    archiveBtn->hide();
    repeatBtn = new QPushButton("查重", bar);
    repeatBtn->setObjectName("repeat_btn");
    repeatBtn->hide();
    barLayout->addWidget(archiveBtn);
    barLayout->addWidget(repeatBtn);
    // It also tells the site's reasons for a failed check.
    analysis = plainLabel("正在分析上传文件 .", bar);
    analysis->setObjectName("analysis_tip");
    barLayout->addWidget(analysis);
    barLayout->addStretch();
    outer->addWidget(bar);
    outer->addStretch();

    connect(uploadBtn, &QPushButton::clicked, this, [this] { save(true); });
    connect(saveBtn, &QPushButton::clicked, this, [this] { save(false); });
    connect(cancelBtn, &QPushButton::clicked, this, &MyEditformWidget::cancel);
    connect(archiveBtn, &QPushButton::clicked, this, &MyEditformWidget::showArchive);
    connect(repeatBtn, &QPushButton::clicked, this, &MyEditformWidget::runTextCheck);
}

bool MyEditformWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tegongFaq) {
        if (event->type() == QEvent::Enter)
            tegongHint->show();
        else if (event->type() == QEvent::Leave)
            tegongHint->hide();
    }
    return BaseWidget::eventFilter(watched, event);
}

void MyEditformWidget::showPremiumMessage()
{
    const QString link = Endpoints::base(Endpoints::Role::Website) + "/ucp.php?mod=soft&op=myteam&do=apply";
    MyMsgBox::ask(QString("您暂无精品资料上传权限，<br/>更多收益及特权请加入<a href=\"%1\" "
                          "style=\"color:#2BBB61;text-decoration:none\">精品资料团队</a>")
                      .arg(link),
                  this, MyMsgBox::Look { QString(), true, false });
}

bool MyEditformWidget::tell(const QString& text)
{
    return MyMsgBox::alert(text, this) != MyMsgBox::Abandoned;
}

int MyEditformWidget::typeLimit() const
{
    return isArchiveFile(fileInfo) ? 5 : 1;
}

void MyEditformWidget::setTypes(const QList<AssetTypeTreeNode>& nodes)
{
    for (MyCategoryItemNode* chip : qAsConst(chips))
        delete chip;
    chips.clear();
    types = nodes;
    typeLayout->removeWidget(addTypeBtn);
    for (const AssetTypeTreeNode& n : nodes) {
        auto* chip = new MyCategoryItemNode(n.title, n.typeid_.toInt(), n.typeidroot.toInt(), typeRow);
        chips.append(chip);
        typeLayout->insertWidget(typeLayout->count() - 1, chip);
        connect(chip, &MyCategoryItemNode::s_del_self, this, [this, chip] { removeChip(chip); });
    }
    typeLayout->insertWidget(typeLayout->count() - 1, addTypeBtn);
}

void MyEditformWidget::removeChip(MyCategoryItemNode* chip)
{
    const int index = chips.indexOf(chip);
    if (index < 0)
        return;
    chips.removeAt(index);
    types.removeAt(index);
    chip->deleteLater();
}

void MyEditformWidget::checkFlag(int value)
{
    for (QRadioButton* r : qAsConst(flagRadios)) {
        if (r->property("value").toInt() == value && r->isCheckable())
            r->setChecked(true);
    }
}

void MyEditformWidget::resetState()
{
    loads.next();
    archiveEntries.clear();
    isArchive = archiveOk = archiveEncrypted = false;
    archiveWarning.clear();
    textExtracted = false;
    checkState = 0;
    checkFailed = false;
    md5Unreadable = false;
    dots = 0;
    md5Pending = analysisPending = true;
    archiveBtn->hide();
    repeatBtn->hide();
    analysis->setText("正在分析上传文件 .");
    analysis->show();
}

void MyEditformWidget::applyFileInfo(const QFileInfo& info)
{
    fileInfo = info;
    form.file_path = info.absoluteFilePath();
    form.file_size = info.size();
    form.file_name = info.fileName();
    form.file_dir = info.absolutePath();
}

bool MyEditformWidget::loadFile(const QString& path, int remaining)
{
    resetState();
    form.id = 0;
    form.is_filling = form.is_uploaded = false;
    form.file_size_loaded = 0;
    analysisTimer->start();

    const QFileInfo info(path);
    assetTypeDialog->setLimit(isArchiveFile(info) ? 5 : 1);
    applyFileInfo(info);
    form.subject = info.completeBaseName();
    form.file_text = "略...";
    form.file_icon = fileCategory(info.fileName());
    form.file_md5.clear();
    titleEdit->setText(form.subject);

    if (types.isEmpty())
        assetTypeDialog->autoSelect(form.file_path);
    autoFillStageSubject();
    stageArmed = true;
    district->autoFillByTitle(form.subject);

    anymoreTip->setText(QString("剩余%1份资料待编辑").arg(remaining));
    anymoreTip->setVisible(remaining >= 1);

    if (!info.exists() || !info.isReadable()) {
        analysisTimer->stop();
        if (tell(QString("无法读取文件%1，已跳过").arg(form.file_path)))
            emit s_edit_next();
        return false;
    }
    if (form.file_size < kSmallestFileSize) {
        analysisTimer->stop();
        if (tell("选择的资源小于1KB，无效资源！"))
            emit s_edit_next();
        return false;
    }
    parseFileByExecTools();
    return true;
}

bool MyEditformWidget::loadForm(AssetFormData& data)
{
    resetState();
    md5Pending = analysisPending = false;
    checkState = 1;
    form = data;
    fileInfo = QFileInfo(form.file_path);
    assetTypeDialog->setLimit(typeLimit());
    titleEdit->setText(form.subject);
    QList<AssetTypeTreeNode> nodes;
    for (const AssetTypeItem& t : qAsConst(form.types))
        nodes.append(toTypeNode(t));
    setTypes(nodes);
    checkFlag(form.flag);
    stageArmed = false;
    xdChid->setValue(form.xueduanid, form.chid);
    chapterText->setText(form.catname_path);
    chapterText->setVisible(!form.catname_path.isEmpty());
    const Ticket generation = loads.latest();
    QPointer<MyEditformWidget> self(this);
    // The pair's own change signals of the programmatic set above must not clear the chapter.
    QTimer::singleShot(500, this, [self, generation] {
        if (self && self->current(generation))
            self->stageArmed = true;
    });
    if (form.versionid != 0)
        showVersionCombo(1, false);
    selectByValue(copyrightBox, form.copyrighttype);
    selectByValue(starsBox, form.stars);
    district->setRegion(form.fitprovince, form.fitcity, form.fitdist, form.fitname);
    analysisTimer->start();
    return true;
}

void MyEditformWidget::selectByValue(QComboBox* combo, int value)
{
    for (int i = 0; i < combo->count(); ++i) {
        if (optionValueAt(combo, i) == value) {
            combo->setCurrentIndex(i);
            return;
        }
    }
}

int MyEditformWidget::stageFromTitle(const QJsonObject& rules, const QString& title)
{
    for (const QJsonValue& v : rules.value("xd").toArray()) {
        const QJsonObject rule = v.toObject();
        for (const QJsonValue& k : rule.value("keywords").toArray()) {
            if (!k.toString().isEmpty() && title.contains(k.toString())) {
                const int stage = rule.value("id").toVariant().toString().toInt();
                // A rule whose id reads as no stage lets the later rules try.
                if (stage)
                    return stage;
                break;
            }
        }
    }
    return 0;
}

void MyEditformWidget::autoFillStageSubject()
{
    const QString title = form.subject;
    const int stage = stageFromTitle(MyDAO::instance()->ruleObject(), title);
    if (!stage)
        return;
    // A title that names no subject keeps the one chosen (for the file before, in a batch); one
    // of another stage is not in the new stage's list and leaves "请选择学科".
    int subject = xdChid->subject();
    const QJsonArray subjects
        = MyDAO::instance()->resourceObject().value("chid").toObject().value(QString::number(stage)).toArray();
    for (const QJsonValue& v : subjects) {
        const QJsonObject s = v.toObject();
        const QString name = s.value("subjectName").toString();
        const bool hit = name == "政治思品(道德与法治)" ? title.contains("政治思品") || title.contains("道德与法治")
                                                        : !name.isEmpty() && title.contains(name);
        if (hit) {
            subject = s.value("subjectId").toString().toInt();
            break;
        }
    }
    const int oldStage = xdChid->stage(), oldSubject = xdChid->subject();
    // Our own selection is no change by the author; a different guess still voids the chapter.
    stageArmed = false;
    xdChid->setValue(stage, subject);
    form.xueduanid = xdChid->stage();
    form.chid = xdChid->subject();
    if (form.xueduanid != oldStage || form.chid != oldSubject)
        clearChapter();
}

void MyEditformWidget::clearChapter()
{
    form.catid = 0;
    form.catname_path.clear();
    form.catpath.clear();
    form.versionid = 0;
    chapterText->clear();
    chapterText->hide();
    showVersionCombo(0, true);
}

void MyEditformWidget::stageSubjectChanged()
{
    if (stageArmed)
        clearChapter();
}

void MyEditformWidget::selectChapter()
{
    const int stage = xdChid->stage(), subject = xdChid->subject();
    if (stage == 0 || subject == 0) {
        if (tell("请选择学段学科！"))
            showVersionCombo(0, true);
        return;
    }
    if (!chapterTreeDialog->holdsTree(stage, subject))
        chapterTreeDialog->initTree(stage, subject, form.catpath);
    form.xueduanid = stage;
    form.chid = subject;
    const Ticket generation = loads.latest();
    if (MyMsgBox::runDialog(chapterTreeDialog, this, false) != QDialog::Accepted || !current(generation))
        return;
    form.catid = chapterTreeDialog->selectedCatid();
    form.catname_path = chapterTreeDialog->selectedNamePath();
    form.catpath = chapterTreeDialog->selectedCatpath();
    chapterText->setText(form.catname_path);
    chapterText->show();
    form.bookversionid = chapterTreeDialog->selectedBookVersionId();
    lastVersionName = chapterTreeDialog->selectedVersionName();
    emit s_version_combo(form.bookversionid);
}

bool MyEditformWidget::collectForm(QString& message)
{
    message.clear();
    if (form.file_md5.isEmpty()) {
        message = "文档正在解析，稍后提交保存";
        return false;
    }
    form.subject = titleEdit->text().trimmed();
    form.types.clear();
    for (const AssetTypeTreeNode& n : qAsConst(types))
        form.types.append(toTypeItem(n));
    if (QAbstractButton* checked = flagGroup->checkedButton())
        form.flag = checked->property("value").toInt();
    if (form.flag == 5 && !MyDAO::instance()->currentLogin().team_status) {
        showPremiumMessage();
        return false;
    }
    form.xueduanid = xdChid->stage();
    form.chid = xdChid->subject();
    form.copyrighttype = optionValue(copyrightBox);
    const MyLinkDistrictWidget::Region region = district->region();
    form.fitprovince = region.province;
    form.fitcity = region.city;
    form.fitdist = region.county;
    form.fitname = region.name;
    form.stars = optionValue(starsBox);

    if (form.subject.isEmpty())
        message = "资料标题不能为空";
    else if (form.subject.size() > kMaxTitleLength)
        message = QString("资料标题不能超过%1个字（现有%2个字）").arg(kMaxTitleLength).arg(form.subject.size());
    else if (form.types.isEmpty())
        message = "资料类型未设置";
    else if (form.xueduanid == 0)
        message = "学段未设置";
    else if (form.chid == 0)
        message = "学科未设置";
    else if (form.catid == 0)
        message = "资料栏目未设置";
    else if (form.versionid == 0)
        message = "资料版本未设置";
    else if (form.fitprovince == -1)
        message = "适用地区未设置";
    return message.isEmpty();
}

bool MyEditformWidget::checkBeforeSave()
{
    if (archiveEncrypted) {
        if (tell(QString("解析失败，文件%1\r\n无法解压加密文件").arg(form.file_name)))
            emit s_edit_next();
        return false;
    }
    if (checkState == 2) {
        if (tell("服务器已有相同资源，不允许重复上传"))
            emit s_edit_next();
        return false;
    }
    // The file is in the upload list already: the author is told and the row is pointed out.
    if (MyDAO::instance()->refuseListedDuplicate(form)) {
        emit s_edit_next();
        return false;
    }
    if (form.file_size < kSmallestFileSize) {
        if (tell("选择的资源小于1KB，无效资源"))
            emit s_edit_next();
        return false;
    }
    // Deleted or locked since it was added: the author may put it back, or cancel.
    if (!QFileInfo(form.file_path).isReadable()) {
        MyMsgBox::alert(QString("文件%1已不存在或无法读取，请检查后再保存").arg(form.file_path), this);
        return false;
    }
    if (md5Unreadable && !md5Pending) {
        md5Unreadable = false;
        md5Pending = true;
        checkState = 0;
        applyFileInfo(QFileInfo(form.file_path));
        fingerprint(form.file_path);
        analysis->show();
        analysisTimer->start();
        MyMsgBox::alert("稍后提交，正在解析文档内容...", this);
        return false;
    }
    if (checkFailed && checkState == 0 && !md5Pending) {
        checkWithSite();
        analysis->show();
        analysisTimer->start();
        MyMsgBox::alert("正在重新向服务器查重，请稍后再保存", this);
        return false;
    }
    if (md5Pending || analysisPending || checkState == 0) {
        MyMsgBox::alert("稍后提交，正在解析文档内容...", this);
        return false;
    }
    if (!archiveWarning.isEmpty()) {
        MyMsgBox::alert(archiveWarning, this);
        return false;
    }
    if (isArchive && !archiveOk) {
        if (tell("压缩文件解析失败，请重新压缩后上传，err:x003"))
            emit s_edit_next();
        return false;
    }
    QString message;
    const bool ok = collectForm(message);
    if (!message.isEmpty() && !tell(message))
        return false;
    if (!ok) {
        form.is_filling = false;
        focusInvalidField(message);
        return false;
    }
    return true;
}

void MyEditformWidget::focusInvalidField(const QString& message)
{
    // The author goes on where the form stopped, from the keyboard too.
    QWidget* field = nullptr;
    if (message.startsWith("资料标题"))
        field = titleEdit;
    else if (message == "资料类型未设置")
        field = addTypeBtn;
    else if (message == "学段未设置" || message == "学科未设置") {
        const auto combos = xdChid->findChildren<QComboBox*>();
        field = combos.value(message == "学段未设置" ? 0 : 1);
    } else if (message == "资料栏目未设置")
        field = chapterBtn;
    else if (message == "资料版本未设置")
        field = versionBox->isHidden() ? static_cast<QWidget*>(chapterBtn) : versionBox;
    else if (message == "适用地区未设置")
        field = district->findChild<QComboBox*>();
    if (field)
        field->setFocus(Qt::OtherFocusReason);
}

void MyEditformWidget::save(bool start)
{
    if (!checkBeforeSave())
        return;
    form.is_filling = true;
    if (!MyDAO::instance()->saveAssetForm(form, start)) {
        MyMsgBox::alert("保存出错，失败！", this);
        return;
    }
    emit s_edit_next();
}

void MyEditformWidget::cancel()
{
    // Only a file the form brought in (a packed folder or a repacked archive) is removed; the
    // file of a stored record stays, the record still points at it.
    const QString path = QDir::cleanPath(form.file_path);
    if (form.id == 0 && !path.isEmpty() && path.startsWith(MyDAO::tmpDir()))
        QFile::remove(path);
    emit s_edit_next();
}

void MyEditformWidget::runTextCheck()
{
    const bool analysing = md5Pending || analysisPending || checkState == 0;
    const QString refusal = textCheckRefusal(analysing, checkState == 2, form.file_text, [this]() {
        // Only the current stage and subject matter here; the verdict is for saving.
        QString ignored;
        collectForm(ignored);
        return qMakePair(form.xueduanid, form.chid);
    });
    if (!refusal.isEmpty()) {
        MyMsgBox::alert(refusal, this);
        return;
    }
    // The answer is for this file: once the form has moved on (取消, the next file) it is dropped.
    QPointer<MyEditformWidget> self(this);
    const Ticket generation = loads.latest();
    sendTextCheck(this, repeatBtn, form, [self, generation] { return self && self->current(generation); });
}
