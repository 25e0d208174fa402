// A chapter reply of the website as the chapter picker reads it: served over HTTP to the
// program's own request (so the request client judges it), then built into the chapter tree,
// the deepest last item selected and its path, names and textbook read back. Each input asks
// for a stage of its own so that the picker's cache of good replies never answers instead.

#include "OffscreenApp.h"
#include "SiteAnswerer.h"
#include "form/MyChapterTreeDialog.h"

#include <QApplication>
#include <QElapsedTimer>
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
    startOffscreenApp("fuzz_chapters");
    site = new SiteAnswerer;
    site->answerForEveryHost();
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
