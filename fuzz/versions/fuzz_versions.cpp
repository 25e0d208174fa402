// A textbook version list of the website as the asset form reads it: served over HTTP to the
// form's own request (so the request client judges it), then filled into the version box, or
// the chapter's textbook named beside it. Nothing caches these lists, so one form serves all
// inputs; the input's length picks whether the box is shown and whether the stored choice stays.

#include "OffscreenApp.h"
#include "SiteAnswerer.h"
#include "form/MyEditformWidget.h"
#include "net/MyDAO.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QSignalBlocker>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

SiteAnswerer* site = nullptr;
MyEditformWidget* form = nullptr;
bool sessionEnded = false;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    startOffscreenApp("fuzz_versions");
    site = new SiteAnswerer;
    site->answerForEveryHost();
    // A "code" 400 reply ends the session and reaches no callback.
    QObject::connect(MyDAO::instance(), &MyDAO::s_session_invalid, [] { sessionEnded = true; });
    form = new MyEditformWidget;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!form)
        LLVMFuzzerInitialize(nullptr, nullptr);
    site->body = QByteArray(reinterpret_cast<const char*>(data), int(size));
    // 1: the box to choose from; 2: the chapter's textbook, named in the label.
    const int nShow = size % 2 ? 2 : 1;
    {
        // Emptied here so that the reply's arrival shows: filling always adds "请选择", and
        // naming the textbook always writes the label.
        QSignalBlocker block(form->versionCombo());
        form->versionCombo()->clear();
        form->versionLabel()->clear();
    }
    sessionEnded = false;
    form->showVersionCombo(nShow, size % 4 < 2);
    const auto handled = [nShow] {
        return sessionEnded
            || (nShow == 1 ? form->versionCombo()->count() > 0 : !form->versionLabel()->text().isEmpty());
    };
    QElapsedTimer waited;
    waited.start();
    while (!handled() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    if (!handled())
        abort();
    for (int i = 0; i < form->versionCombo()->count(); ++i)
        form->versionCombo()->itemText(i);
    form->formData();
    return 0;
}
