// A chapter reply of the website as the chapter picker reads it: served over HTTP to the
// program's own request (so the request client judges it), then built into the chapter tree,
// the deepest last item selected and its path, names and textbook read back. Each input asks
// for a stage of its own so that the picker's cache of good replies never answers instead.

#include "SiteAnswerer.h"
#include "form/MyChapterTreeDialog.h"
#include "widgets/MyMsgBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <cstddef>
#include <cstdint>

namespace {

SiteAnswerer* site = nullptr;
MyChapterTreeDialog* dialog = nullptr;
int stage = 0;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static QTemporaryDir* home = new QTemporaryDir;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path()));
    static int argc = 1;
    static char name[] = "fuzz_chapters";
    static char* argv[] = { name, nullptr };
    // Never destroyed: the dialog and the program's singletons outlive any exit order.
    static QApplication* app = new QApplication(argc, argv);
    Q_UNUSED(app);
    site = new SiteAnswerer;
    site->answerForEveryHost();
    MyMsgBox::setUnattended(true);
    dialog = new MyChapterTreeDialog;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!dialog)
        LLVMFuzzerInitialize(nullptr, nullptr);
    site->body = QByteArray(reinterpret_cast<const char*>(data), int(size));
    // Subject 18 reads the textbook from the second level when the top has no version.
    dialog->initTree(++stage, size % 2 ? 18 : 3, QString());
    QElapsedTimer waited;
    waited.start();
    while (dialog->isLoading() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    QTreeWidgetItem* last = nullptr;
    for (QTreeWidgetItemIterator it(dialog->tree()); *it; ++it)
        last = *it;
    if (last) {
        dialog->tree()->setCurrentItem(last);
        dialog->selectedCatid();
        dialog->selectedNamePath();
        dialog->selectedCatpath();
        dialog->selectedBookVersionId();
        dialog->selectedVersionName();
    }
    return 0;
}
