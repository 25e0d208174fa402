#include "SeedData.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QMutex>
#include <QRandomGenerator>
#include <algorithm>
#include <functional>

namespace seed {

namespace {

QByteArray readResource(const QString& name)
{
    QFile f(":/devsite/" + name);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

struct Region
{
    int id;
    int upid;
    const char* name;
};

// Province codes as in the national administrative division list; cities and counties
// for a few of them.
const Region kRegions[] = {
    { 11, 0, "北京市" },
    { 12, 0, "天津市" },
    { 13, 0, "河北省" },
    { 14, 0, "山西省" },
    { 15, 0, "内蒙古自治区" },
    { 21, 0, "辽宁省" },
    { 22, 0, "吉林省" },
    { 23, 0, "黑龙江省" },
    { 31, 0, "上海市" },
    { 32, 0, "江苏省" },
    { 33, 0, "浙江省" },
    { 34, 0, "安徽省" },
    { 35, 0, "福建省" },
    { 36, 0, "江西省" },
    { 37, 0, "山东省" },
    { 41, 0, "河南省" },
    { 42, 0, "湖北省" },
    { 43, 0, "湖南省" },
    { 44, 0, "广东省" },
    { 45, 0, "广西壮族自治区" },
    { 46, 0, "海南省" },
    { 50, 0, "重庆市" },
    { 51, 0, "四川省" },
    { 52, 0, "贵州省" },
    { 53, 0, "云南省" },
    { 54, 0, "西藏自治区" },
    { 61, 0, "陕西省" },
    { 62, 0, "甘肃省" },
    { 63, 0, "青海省" },
    { 64, 0, "宁夏回族自治区" },
    { 65, 0, "新疆维吾尔自治区" },
    { 71, 0, "台湾省" },
    { 81, 0, "香港特别行政区" },
    { 82, 0, "澳门特别行政区" },
    // Beijing lists its districts directly; none of them has a further level.
    { 110101, 11, "东城区" },
    { 110102, 11, "西城区" },
    { 110105, 11, "朝阳区" },
    { 110106, 11, "丰台区" },
    { 110108, 11, "海淀区" },
    { 3201, 32, "南京市" },
    { 3202, 32, "无锡市" },
    { 3204, 32, "常州市" },
    { 3205, 32, "苏州市" },
    { 3206, 32, "南通市" },
    { 3210, 32, "扬州市" },
    { 3301, 33, "杭州市" },
    { 3302, 33, "宁波市" },
    { 3303, 33, "温州市" },
    { 3306, 33, "绍兴市" },
    { 3307, 33, "金华市" },
    { 3701, 37, "济南市" },
    { 3702, 37, "青岛市" },
    { 3706, 37, "烟台市" },
    { 3707, 37, "潍坊市" },
    { 4101, 41, "郑州市" },
    { 4103, 41, "洛阳市" },
    { 4107, 41, "新乡市" },
    { 4201, 42, "武汉市" },
    { 4205, 42, "宜昌市" },
    { 4206, 42, "襄阳市" },
    { 4401, 44, "广州市" },
    { 4403, 44, "深圳市" },
    { 4404, 44, "珠海市" },
    { 4406, 44, "佛山市" },
    { 4413, 44, "惠州市" },
    { 4419, 44, "东莞市" },
    { 4420, 44, "中山市" },
    { 5101, 51, "成都市" },
    { 5107, 51, "绵阳市" },
    { 5113, 51, "南充市" },
    { 320102, 3201, "玄武区" },
    { 320104, 3201, "秦淮区" },
    { 320105, 3201, "建邺区" },
    { 320106, 3201, "鼓楼区" },
    { 320115, 3201, "江宁区" },
    { 320505, 3205, "虎丘区" },
    { 320506, 3205, "吴中区" },
    { 320507, 3205, "相城区" },
    { 320508, 3205, "姑苏区" },
    { 320581, 3205, "常熟市" },
    { 320582, 3205, "张家港市" },
    { 320583, 3205, "昆山市" },
    { 330102, 3301, "上城区" },
    { 330105, 3301, "拱墅区" },
    { 330106, 3301, "西湖区" },
    { 330108, 3301, "滨江区" },
    { 330110, 3301, "余杭区" },
    { 370202, 3702, "市南区" },
    { 370203, 3702, "市北区" },
    { 370211, 3702, "黄岛区" },
    { 370212, 3702, "崂山区" },
    { 420102, 4201, "江岸区" },
    { 420106, 4201, "武昌区" },
    { 420111, 4201, "洪山区" },
    { 440103, 4401, "荔湾区" },
    { 440104, 4401, "越秀区" },
    { 440105, 4401, "海珠区" },
    { 440106, 4401, "天河区" },
    { 440111, 4401, "白云区" },
    { 440112, 4401, "黄埔区" },
    { 440113, 4401, "番禺区" },
    { 440303, 4403, "罗湖区" },
    { 440304, 4403, "福田区" },
    { 440305, 4403, "南山区" },
    { 440306, 4403, "宝安区" },
    { 440307, 4403, "龙岗区" },
    { 510104, 5101, "锦江区" },
    { 510105, 5101, "青羊区" },
    { 510106, 5101, "金牛区" },
    { 510107, 5101, "武侯区" },
    { 510108, 5101, "成华区" },
};

const char* const kVersionNames[] = { "",       "人教版", "北师大版", "苏教版", "统编版",  "外研版",  "沪教版",
                                      "湘教版", "冀教版", "浙教版",   "鲁教版", "译林版",  "人教PEP", "华东师大版",
                                      "青岛版", "粤教版", "教科版",   "沪科版", "人教A版", "人教B版", "中图版" };

QList<int> versionIds(int stage, int subject)
{
    switch (subject) {
    case 1:
        return stage == 1 ? QList<int> { 4, 3, 2 } : QList<int> { 4, 3, 6 };
    case 2:
        if (stage == 1)
            return { 1, 2, 3, 14, 8 };
        if (stage == 2)
            return { 1, 2, 13, 17, 9 };
        return { 18, 19, 2, 3 };
    case 3:
        if (stage == 1)
            return { 12, 5, 11 };
        return stage == 2 ? QList<int> { 1, 5, 11 } : QList<int> { 1, 5, 2, 11 };
    case 4:
        return stage == 2 ? QList<int> { 1, 2, 17, 16 } : QList<int> { 1, 16, 15 };
    case 5:
        return { 1, 6, 10 };
    case 6:
        return { 1, 2, 3 };
    case 7:
    case 18:
    case 21:
        return { 4 };
    case 8:
        return stage == 2 ? QList<int> { 1, 7, 6 } : QList<int> { 1, 7, 20 };
    case 13:
        return { 16, 3, 1 };
    default:
        return { 1, 2 };
    }
}

struct Book
{
    QString name;
    QList<QPair<QString, QStringList>> chapters;
};

QList<Book> realBooks(int stage, int subject, int version)
{
    if (stage == 2 && subject == 2 && version == 1) {
        return {
            { "七年级上册",
              { { "第一章 有理数",
                  { "1.1 正数和负数", "1.2 有理数", "1.3 有理数的加减法", "1.4 有理数的乘除法", "1.5 有理数的乘方" } },
                { "第二章 整式的加减", { "2.1 整式", "2.2 整式的加减" } },
                { "第三章 一元一次方程",
                  { "3.1 从算式到方程", "3.2 解一元一次方程（一）——合并同类项与移项",
                    "3.3 解一元一次方程（二）——去括号与去分母", "3.4 实际问题与一元一次方程" } },
                { "第四章 几何图形初步",
                  { "4.1 几何图形", "4.2 直线、射线、线段", "4.3 角",
                    "4.4 课题学习 设计制作长方体形状的包装纸盒" } } } },
            { "七年级下册",
              { { "第五章 相交线与平行线", { "5.1 相交线", "5.2 平行线及其判定", "5.3 平行线的性质", "5.4 平移" } },
                { "第六章 实数", { "6.1 平方根", "6.2 立方根", "6.3 实数" } },
                { "第七章 平面直角坐标系", { "7.1 平面直角坐标系", "7.2 坐标方法的简单应用" } } } },
        };
    }
    if (stage == 1 && subject == 1 && version == 4) {
        return {
            { "一年级上册",
              { { "识字（一）", { "1 天地人", "2 金木水火土", "3 口耳目", "4 日月水火", "5 对韵歌" } },
                { "汉语拼音", { "1 a o e", "2 i u ü y w", "3 b p m f", "4 d t n l" } },
                { "课文（一）", { "1 秋天", "2 小小的船", "3 江南", "4 四季" } } } },
            { "一年级下册",
              { { "识字（一）", { "1 春夏秋冬", "2 姓氏歌", "3 小青蛙", "4 猜字谜" } },
                { "课文（一）", { "1 吃水不忘挖井人", "2 我多想去看看", "3 一个接一个", "4 四个太阳" } } } },
        };
    }
    if (stage == 3 && subject == 4 && version == 1) {
        return {
            { "必修第一册",
              { { "第一章 运动的描述",
                  { "1 质点 参考系", "2 时间 位移", "3 位置变化快慢的描述——速度", "4 速度变化快慢的描述——加速度" } },
                { "第二章 匀变速直线运动的研究",
                  { "1 实验：探究小车速度随时间变化的规律", "2 匀变速直线运动的速度与时间的关系",
                    "3 匀变速直线运动的位移与时间的关系", "4 自由落体运动" } },
                { "第三章 相互作用——力", { "1 重力与弹力", "2 摩擦力", "3 牛顿第三定律", "4 力的合成和分解" } } } },
        };
    }
    return {};
}

QStringList bookNames(int stage)
{
    if (stage == 1)
        return { "三年级上册", "三年级下册", "四年级上册", "四年级下册" };
    if (stage == 2)
        return { "七年级上册", "七年级下册", "八年级上册", "八年级下册" };
    return { "必修第一册", "必修第二册", "选择性必修第一册" };
}

const char* const kNumerals[] = { "一", "二", "三", "四", "五", "六" };

QList<Book> genericBooks(int stage)
{
    QList<Book> books;
    for (const QString& name : bookNames(stage)) {
        Book b { name, {} };
        for (int c = 0; c < 3; ++c) {
            QStringList sections;
            for (int s = 0; s < 3; ++s)
                sections << QString("第%1节").arg(QString::fromUtf8(kNumerals[s]));
            b.chapters.append({ QString("第%1单元").arg(QString::fromUtf8(kNumerals[c])), sections });
        }
        books.append(b);
    }
    return books;
}

// Builds the tree with siblings numbered in display order, then answers each group of
// siblings in descending display order (ties kept in their own order), so that a client
// has to sort, and ties stay visible.
QList<Chapter> buildChapters(int stage, int subject)
{
    struct Node
    {
        Chapter c;
        QList<int> kids;
    };
    QList<Node> nodes;
    int next = stage * 1000000 + subject * 10000;
    auto add = [&](int parent, const QString& name, int order, int version) {
        Node n;
        n.c.catid = ++next;
        n.c.name = name;
        n.c.upid = parent < 0 ? 0 : nodes[parent].c.catid;
        n.c.displayorder = order;
        n.c.bookversionid = version;
        nodes.append(n);
        const int index = nodes.size() - 1;
        if (parent >= 0) {
            nodes[parent].kids.append(index);
            nodes[parent].c.hasChildren = true;
        }
        return index;
    };
    auto addBooks = [&](int parent, int version) {
        QList<Book> books = realBooks(stage, subject, version);
        if (books.isEmpty())
            books = genericBooks(stage);
        for (int b = 0; b < books.size(); ++b) {
            const int book = add(parent, books[b].name, b + 1, version);
            for (int c = 0; c < books[b].chapters.size(); ++c) {
                const auto& chapter = books[b].chapters[c];
                const int ch = add(book, chapter.first, c + 1, version);
                for (int s = 0; s < chapter.second.size(); ++s) {
                    // The first two sections of each chapter share a display order.
                    add(ch, chapter.second[s], s < 2 ? 1 : s, version);
                }
            }
        }
    };

    const int top = add(-1, stageName(stage) + subjectName(subject), 0, 0);
    const QList<int> ids = versionIds(stage, subject);
    if (subject == 18) {
        // Grouped under a column without a version; the versions are the second level.
        const int sync = add(top, "教材同步", 1, 0);
        const int v = add(sync, QString::fromUtf8(kVersionNames[ids.value(0)]), 1, 0);
        addBooks(v, 0);
    } else {
        for (int i = 0; i < qMin(2, ids.size()); ++i) {
            const int v = add(top, QString::fromUtf8(kVersionNames[ids[i]]), i + 1, ids[i]);
            addBooks(v, ids[i]);
        }
    }
    const int review = add(top, "专题复习", 9, 0);
    add(review, "期中复习", 1, 0);
    add(review, "期末复习", 1, 0);
    add(review, stage == 1 ? "小升初复习" : stage == 2 ? "中考复习" : "高考复习", 2, 0);

    QList<Chapter> out;
    std::function<void(int)> emitNode = [&](int index) {
        out.append(nodes[index].c);
        QList<int> kids = nodes[index].kids;
        std::stable_sort(kids.begin(), kids.end(),
                         [&](int a, int b) { return nodes[a].c.displayorder > nodes[b].c.displayorder; });
        for (int k : kids)
            emitNode(k);
    };
    emitNode(top);
    return out;
}

} // namespace

const QJsonObject& vtup()
{
    static const QJsonObject obj = QJsonDocument::fromJson(vtupBytes()).object();
    return obj;
}

const QJsonObject& rule()
{
    static const QJsonObject obj = QJsonDocument::fromJson(ruleBytes()).object();
    return obj;
}

QByteArray vtupBytes()
{
    static const QByteArray bytes = readResource("vtup.json");
    return bytes;
}

QByteArray ruleBytes()
{
    static const QByteArray bytes = readResource("rule.json");
    return bytes;
}

QString stageName(int stage)
{
    return vtup().value("xd").toObject().value(QString::number(stage)).toString();
}

QString subjectName(int subject)
{
    return vtup().value("subjects").toObject().value(QString::number(subject)).toString();
}

bool subjectInStage(int stage, int subject)
{
    for (const QJsonValue& v : vtup().value("chid").toObject().value(QString::number(stage)).toArray()) {
        if (v.toObject().value("subjectId").toString() == QString::number(subject))
            return true;
    }
    return false;
}

QString rootName(int root)
{
    for (const QJsonValue& v : vtup().value("typeidroot").toArray()) {
        if (v.toObject().value("id").toString() == QString::number(root))
            return v.toObject().value("name").toString();
    }
    return {};
}

QString typeName(int root, int type)
{
    return vtup()
        .value("typeid")
        .toObject()
        .value(QString::number(root))
        .toObject()
        .value(QString::number(type))
        .toString();
}

QString copyrightName(int key)
{
    return vtup().value("copyrighttype").toObject().value(QString::number(key)).toString();
}

QJsonArray districts(int upid)
{
    QJsonArray list;
    for (const Region& r : kRegions) {
        if (r.upid == upid)
            list.append(QJsonObject { { "id", QString::number(r.id) }, { "name", QString::fromUtf8(r.name) } });
    }
    return list;
}

QString regionName(int id)
{
    for (const Region& r : kRegions) {
        if (r.id == id)
            return QString::fromUtf8(r.name);
    }
    return {};
}

QList<Version> versions(int stage, int subject)
{
    QList<Version> list;
    if (!subjectInStage(stage, subject))
        return list;
    for (int id : versionIds(stage, subject))
        list.append({ id, QString::fromUtf8(kVersionNames[id]) });
    return list;
}

QList<Chapter> chapters(int stage, int subject)
{
    static QMutex mutex;
    static QHash<int, QList<Chapter>> cache;
    if (!subjectInStage(stage, subject))
        return {};
    QMutexLocker lock(&mutex);
    const int key = stage * 100 + subject;
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.insert(key, buildChapters(stage, subject));
    return it.value();
}

bool leafChapter(int stage, int subject, int catid, QString* catpath, QString* namePath)
{
    const QList<Chapter> all = chapters(stage, subject);
    QHash<int, const Chapter*> byId;
    for (const Chapter& c : all)
        byId.insert(c.catid, &c);
    const Chapter* c = byId.value(catid);
    if (!c || c->hasChildren || c->upid == 0)
        return false;
    QStringList ids, names;
    while (c && c->upid != 0) { // the entry with upid 0 is the subject itself, not part of the path
        ids.prepend(QString::number(c->catid));
        names.prepend(c->name);
        c = byId.value(c->upid);
    }
    *catpath = ids.join(',');
    *namePath = names.join(" > ");
    return true;
}

const QStringList& intros()
{
    static const QStringList texts {
        "本节课从生活中的温度计、海拔高度等实例出发，引导学生认识具有相反意义的量，理解正数和负数的概念，"
        "会用正数和负数表示具有相反意义的量，体会数学与生活的密切联系。",
        "通过观察、比较和归纳，让学生掌握有理数加法法则，能够熟练进行有理数的加法运算，并能运用加法交换律"
        "和结合律简化运算，培养学生的运算能力和合作交流意识。",
        "秋天来了，天气凉了，一片片叶子从树上落下来。天空那么蓝，那么高。一群大雁往南飞，一会儿排成个"
        "“人”字，一会儿排成个“一”字。本课通过朗读感受秋天的美丽。",
        "本试卷共三大题，满分一百分，考试时间九十分钟。第一部分为选择题，每小题三分；第二部分为填空题；"
        "第三部分为解答题，要求写出必要的文字说明、证明过程或演算步骤。",
        "质点是用来代替物体的有质量的点，是一种理想化的物理模型。本节通过实例分析物体在什么情况下可以看作"
        "质点，并引入参考系的概念，理解运动的相对性。",
        "学习目标：一、理解一元一次方程的概念；二、掌握移项和合并同类项的方法；三、能够列方程解决简单的实际"
        "问题。重点难点：根据实际问题中的等量关系列出方程。",
        "本单元围绕“美丽的中国”这一主题，精选古诗词与现代散文，引导学生在朗读中感受祖国山河之美，积累优美"
        "词句，学习作者观察和描写景物的方法。",
        "Unit 1 My classroom. Learning aims: students can read and use the words about the classroom, such as "
        "window, door, picture and board, and talk about what is in the classroom.",
    };
    return texts;
}

QByteArray knownSampleContent()
{
    return QByteArray("devsite sample: 服务器上已有的资源\n");
}

QList<QJsonObject> initialAssets(qint64 now)
{
    struct Owner
    {
        int uid;
        int pending, reviewed, recycled;
    };
    const Owner owners[] = { { 10001, 22, 63, 48 }, { 10002, 3, 5, 0 } };
    const int classes[] = { 6, 5, 6, 15, 6, 5 }; // ordinary resources are the most common
    const char* const reasons[] = {
        "资料内容与标题不符",
        "资料重复，网站已有相同资源",
        "文件无法打开，请检查后重新上传",
        "资料质量较差，排版混乱",
        "资料内容不完整，缺少答案部分，请补充完整后重新上传，谢谢您的支持与理解！",
    };
    const int stagesSubjects[][2] = { { 2, 2 }, { 1, 1 },  { 3, 4 },  { 2, 1 }, { 2, 3 }, { 3, 2 },
                                      { 1, 2 }, { 2, 18 }, { 1, 18 }, { 2, 4 }, { 3, 5 }, { 1, 3 } };
    const int roots[][2] = { { 3, 301 }, { 4, 401 },   { 7, 703 }, { 8, 801 }, { 3, 303 },
                             { 7, 701 }, { 12, 1202 }, { 6, 604 }, { 4, 404 }, { 10, 1003 } };
    const int regions[][3] = { { 0, 0, 0 },     { 44, 4401, 440106 }, { 32, 3205, 320583 }, { 11, 110108, 0 },
                               { 33, 3301, 0 }, { 51, 0, 0 },         { 37, 3702, 370212 }, { 0, 0, 0 } };

    QRandomGenerator rng(20210115);
    QList<QJsonObject> rows;
    int itemid = 180000;
    for (const Owner& o : owners) {
        const int counts[3] = { o.pending, o.reviewed, o.recycled };
        for (int state = 0; state < 3; ++state) {
            for (int n = 0; n < counts[state]; ++n) {
                ++itemid;
                const int cls = classes[rng.bounded(6)];
                const int flag = state == 0 ? cls : state == 1 ? cls + 2 : cls - 2;
                const auto& ss = stagesSubjects[rng.bounded(int(std::size(stagesSubjects)))];
                const int stage = ss[0], subject = ss[1];
                const auto& rt = roots[rng.bounded(int(std::size(roots)))];
                const QList<Chapter> tree = chapters(stage, subject);
                QList<const Chapter*> leaves;
                for (const Chapter& c : tree) {
                    if (!c.hasChildren && c.upid != 0)
                        leaves.append(&c);
                }
                const Chapter* leaf = leaves.value(int(rng.bounded(quint32(leaves.size()))));
                QString catpath, namePath;
                leafChapter(stage, subject, leaf->catid, &catpath, &namePath);
                const QStringList parts = namePath.split(" > ");
                const QString book = parts.size() >= 3 ? parts[parts.size() - 3] : QString();
                QString title = QString("%1%2%3%4")
                                    .arg(parts.value(0), stageName(stage), subjectName(subject),
                                         book + leaf->name + typeName(rt[0], rt[1]));
                title.remove("专题复习");
                if (n % 7 == 3)
                    title = "<font color=\"red\">【精品】</font>" + title;
                else if (n % 11 == 5)
                    title = title + "<b>（含答案）</b>";
                else if (n % 13 == 8)
                    title = title + " &amp; 配套练习";

                const qint64 dateline = now - 3600 * (24 * 2 + qint64(rng.bounded(24 * 170)));
                const int stars = rng.bounded(11);
                const auto& reg = regions[rng.bounded(int(std::size(regions)))];
                QJsonObject row { { "itemid", QString::number(itemid) },
                                  { "uid", o.uid },
                                  { "flag", QString::number(flag) },
                                  { "subject", title },
                                  { "dateline", QString::number(dateline) },
                                  { "typeidroot", QString::number(rt[0]) },
                                  { "typeid", QString::number(rt[1]) },
                                  { "typeidsTotal", QString::number(n % 9 == 4 ? 2 : 1) },
                                  { "xueduanid", QString::number(stage) },
                                  { "chid", QString::number(subject) },
                                  { "catid", QString::number(leaf->catid) },
                                  { "catpath", catpath },
                                  { "categories", namePath },
                                  { "stars", QString::number(stars) },
                                  { "copyrighttype", QString::number(1 + rng.bounded(4)) },
                                  { "fitprovince", QString::number(reg[0]) },
                                  { "fitcity", QString::number(reg[1]) },
                                  { "fitdist", QString::number(reg[2]) },
                                  { "intro", intros().at(n % intros().size()) },
                                  { "file_md5",
                                    QString::fromLatin1(
                                        QCryptographicHash::hash("devsite-seed-" + QByteArray::number(itemid),
                                                                 QCryptographicHash::Md5)
                                            .toHex()) } };
                if (state >= 1)
                    row.insert("editline", QString::number(dateline + 3600 * (1 + rng.bounded(72))));
                if (state == 1) {
                    row.insert("downnum",
                               QString::number(o.uid == 10001 ? 1 + rng.bounded(400)
                                                              : 0)); // nobody downloads the second account's
                    if (flag == 7)
                        row.insert("jinpoint", QString::number(1 + rng.bounded(10)));
                }
                if (state == 2) {
                    switch (n % 6) {
                    case 0:
                    case 1:
                        break; // no reason: deleted by the author
                    case 2:
                        row.insert("editremark", QJsonValue::Null);
                        break;
                    case 3:
                        row.insert("editremark", "");
                        break;
                    default:
                        row.insert("editremark", QString::fromUtf8(reasons[n % 5]));
                    }
                }
                rows.append(row);
            }
        }
    }
    return rows;
}

} // namespace seed
