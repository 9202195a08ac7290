#include "ui/GuiStartup.h"

#include <QApplication>
#include <QMessageLogContext>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace zelv4 {

namespace {

// What Qt says while the application is being created, held back until it is
// known whether the display opened.
struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};

struct StartupState {
    std::mutex lock;  // Qt may report from its event-reader thread
    std::vector<HeldMessage> held;
    std::string program;
    bool displayNamed = false;  // DISPLAY or -display
};

StartupState g_startup;

// The platform plugin's own reason (e.g. "could not connect to display :9"),
// before the plugin loader's ("Could not load the Qt platform plugin ...") and
// the generic fatal text.
QString FailureReason(const QString& fatalText)
{
    for (const bool loaderToo : {false, true}) {
        for (const HeldMessage& message : g_startup.held) {
            if ((message.type != QtWarningMsg && message.type != QtCriticalMsg) ||
                message.category.rfind("qt.qpa", 0) != 0 || (message.category == "qt.qpa.plugin" && !loaderToo))
                continue;
            // The X11 plugin names no display when there is none to name.
            if (message.category == "qt.qpa.xcb" && !g_startup.displayNamed)
                return QStringLiteral("DISPLAY is not set");
            return message.text.trimmed();
        }
    }
    return fatalText.section(QLatin1Char('\n'), 0, 0).trimmed();
}

void HoldingHandler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const std::lock_guard<std::mutex> guard(g_startup.lock);
    if (type == QtFatalMsg) {
        // Qt would abort once this returns.
        std::fprintf(stderr, "%s: cannot open the display: %s\n", g_startup.program.c_str(),
                     FailureReason(text).toLocal8Bit().constData());
        std::fflush(stderr);
        std::_Exit(1);
    }
    g_startup.held.push_back({type, context.category ? context.category : "", text});
}

bool DisplayNamed(int argc, char** argv)
{
    const char* display = std::getenv("DISPLAY");
    if (display && *display)
        return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-display") == 0 || std::strcmp(argv[i], "--display") == 0)
            return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<QApplication> GuiStartup::CreateApplication(int& argc, char** argv)
{
    {
        const std::lock_guard<std::mutex> guard(g_startup.lock);
        const std::string path = argc > 0 && argv[0] ? argv[0] : "zelv4-writer";
        g_startup.program = path.substr(path.rfind('/') + 1);
        g_startup.displayNamed = DisplayNamed(argc, argv);
        g_startup.held.clear();
    }
    const QtMessageHandler previous = qInstallMessageHandler(HoldingHandler);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);

    // The display opened: pass on what Qt said meanwhile.
    std::vector<HeldMessage> held;
    {
        const std::lock_guard<std::mutex> guard(g_startup.lock);
        held.swap(g_startup.held);
    }
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.c_str());
        previous(message.type, context, message.text);
    }
    return application;
}

}  // namespace zelv4
