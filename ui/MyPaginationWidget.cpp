#include "ui/MyPaginationWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalMapper>

namespace {

const char kCountText[] = "共%1页，到第";

QPushButton* navButton(const QString& text, const QString& name, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

} // namespace

MyPaginationWidget::MyPaginationWidget(QWidget* parent)
    : BaseWidget(parent)
{
    hide();
    mapper = new QSignalMapper(this);

    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(5);
    layout->addStretch();
    QPushButton* prev = navButton(QStringLiteral("上一页"), QStringLiteral("prev"), this);
    layout->addWidget(prev);

    auto* pages = new QHBoxLayout;
    pages->setSpacing(5);
    pages->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < buttonCount; ++i) {
        QPushButton* b = navButton(QString::number(i + 1), QStringLiteral("page_btn"), this);
        b->setFixedSize(28, 28);
        b->setCheckable(true);
        b->setChecked(i == 0);
        pages->addWidget(b);
        buttons.append(b);
    }
    layout->addLayout(pages);

    QPushButton* next = navButton(QStringLiteral("下一页"), QStringLiteral("next"), this);
    layout->addWidget(next);
    pageCountLabel = new QLabel(QString::fromUtf8(kCountText).arg(pageTotal), this);
    layout->addWidget(pageCountLabel);
    pageInput = new QLineEdit(QString::number(curPage), this);
    pageInput->setFixedSize(48, 28);
    pageInput->setAlignment(Qt::AlignCenter);
    layout->addWidget(pageInput);
    layout->addWidget(new QLabel(QStringLiteral("页"), this));
    QPushButton* yes = navButton(QStringLiteral("确定"), QStringLiteral("yes"), this);
    layout->addWidget(yes);
    layout->addStretch();

    QList<QPushButton*> all = buttons;
    all << prev << next << yes;
    for (QPushButton* b : all) {
        connect(b, &QPushButton::clicked, mapper, qOverload<>(&QSignalMapper::map));
        mapper->setMapping(b, b);
    }
    connect(mapper, &QSignalMapper::mappedWidget, this, &MyPaginationWidget::onClicked);
}

void MyPaginationWidget::onClicked(QWidget* button)
{
    const QString name = button->objectName();
    int target = 0;
    if (name == QLatin1String("prev"))
        target = curPage - 1;
    else if (name == QLatin1String("next"))
        target = curPage + 1;
    else if (name == QLatin1String("yes"))
        target = pageInput->text().toInt();
    else
        target = static_cast<QPushButton*>(button)->text().toInt();
    // A page button keeps its checked state until the reply says which page is shown.
    if (auto* b = qobject_cast<QPushButton*>(button); b && b->isCheckable())
        b->setChecked(b->text().toInt() == curPage);
    if (target != curPage && target >= 1 && target <= pageTotal)
        emit s_toPage(target);
}

void MyPaginationWidget::setMeta(const QJsonObject& meta)
{
    curPage = meta.value(QLatin1String("currentPage")).toInt();
    perPage = meta.value(QLatin1String("perPage")).toInt();
    pageTotal = meta.value(QLatin1String("pageCount")).toInt();
    totalCount = meta.value(QLatin1String("totalCount")).toInt();
    pageCountLabel->setText(QString::fromUtf8(kCountText).arg(pageTotal));
    if (pageTotal < 2) {
        hide();
        return;
    }
    const int n = buttonCount;
    // A current page below 1 (a site's slip) shows the first window rather than pages below 1.
    // Counted in 64 bits: page numbers near the int limits must not overflow the window.
    qint64 first = qMax<qint64>(0, (qint64(curPage) - 1) / n) * n + 1;
    if (first - 1 + n > pageTotal)
        first = qMax<qint64>(1, qint64(pageTotal) - n + 1);
    for (int i = 0; i < buttons.size(); ++i) {
        QPushButton* b = buttons.at(i);
        const qint64 number = first + i;
        b->setText(QString::number(number));
        b->setChecked(number == curPage);
        b->setVisible(number <= pageTotal);
    }
    show();
}
