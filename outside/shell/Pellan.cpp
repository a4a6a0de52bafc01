#include "Pellan.h"
#include "WidgetDump.h"

#include "platform/Automation.h"
#include "platform/DialogService.h"
#include "platform/Registry.h"
#include "platform/StartupTrace.h"
#include "services/ServerLink.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int kScreenshotDelayMs = 300;

// Marks the first paint of a window once it has been handled; then runs `atFirstPaint` (the widget dump)
// and, when reporting, prints "painted" and closes the window (start-up timing).
class FirstPaintReporter : public QObject {
public:
    FirstPaintReporter(QWidget* window, QTextStream& out, bool report,
                       std::function<void(QWidget*)> atFirstPaint = {})
        : QObject(window), out_(out), report_(report), atFirstPaint_(std::move(atFirstPaint)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || done_) return false;
        done_ = true;
        kvx::startupCheckpoint("first paint event");
        auto* window = static_cast<QWidget*>(watched);
        QTimer::singleShot(0, window, [this, window] {
            kvx::startupCheckpoint("first paint");
            if (atFirstPaint_) atFirstPaint_(window);
            if (!report_) return;
            out_ << "painted" << Qt::endl;
            window->close();
        });
        return false;
    }

private:
    QTextStream& out_;
    bool report_;
    std::function<void(QWidget*)> atFirstPaint_;
    bool done_ = false;
};
const QString kWorkCenterProgId = QStringLiteral("PellanWorkCenter.Manager");

// Error texts may hold carriage returns as line breaks.
QString printable(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString describe(const kvx::Variant& v) {
    try {
        return v.isArray() ? QStringLiteral("(array)") : v.toString();
    } catch (const std::exception&) {
        return QStringLiteral("(%1)").arg(v.typeName());
    }
}

// The shell's work center presenting another interface version (an older shell, for older program
// libraries): DependencyVersion gives the set answer, everything else goes to the work center.
class VersionedWorkCenter : public kvx::Dispatch {
public:
    VersionedWorkCenter(std::shared_ptr<kvx::Dispatch> inner, int version)
        : inner_(std::move(inner)), version_(version) {}
    kvx::Variant invoke(const QString& name, kvx::VariantList& args) override {
        if (name.compare(QLatin1String("DependencyVersion"), Qt::CaseInsensitive) == 0) return version_;
        return inner_->invoke(name, args);
    }
    kvx::Variant getProperty(const QString& name) override { return inner_->getProperty(name); }
    void setProperty(const QString& name, const kvx::Variant& value) override {
        inner_->setProperty(name, value);
    }
    QString className() const override { return inner_->className(); }

private:
    std::shared_ptr<kvx::Dispatch> inner_;
    int version_;
};

bool parseNumber(const QString& text, int& value) {
    bool ok = false;
    value = int(text.trimmed().toLongLong(&ok, 0)); // decimal, 0x hex or 0 octal
    return ok;
}
} // namespace

QString parsePellanOptions(const QStringList& args, PellanOptions& o) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Runs a program library of the ERP client."));
    p.addHelpOption();
    p.addOptions({
        {QStringLiteral("module"), QStringLiteral("Program library (default: ClientPath/C_PKG/QLDI05C.so)."),
         QStringLiteral("PATH")},
        {QStringLiteral("user"), QStringLiteral("User ID (default DS)."), QStringLiteral("U")},
        {QStringLiteral("company"), QStringLiteral("Company ID (default DEMO)."), QStringLiteral("C")},
        {QStringLiteral("db"), QStringLiteral("Company database (default DEMO)."), QStringLiteral("D")},
        {QStringLiteral("open-mode"), QStringLiteral("Open mode passed to SetOpenMode."),
         QStringLiteral("N")},
        {QStringLiteral("rights"), QStringLiteral("Rights passed to SetOpenMode (default 0xFF)."),
         QStringLiteral("R")},
        {QStringLiteral("open-param"), QStringLiteral("Open parameter text (initial condition)."),
         QStringLiteral("TEXT")},
        {QStringLiteral("modal"), QStringLiteral("Show the window modally.")},
        {QStringLiteral("screenshot"), QStringLiteral("Render the shown window to a PNG file and close it."),
         QStringLiteral("FILE")},
        {QStringLiteral("first-paint"),
         QStringLiteral(
             "Print \"painted\" when the program window has painted itself first, then close it.")},
        {QStringLiteral("dump-widgets"),
         QStringLiteral("At the program window's first paint, write a JSON description of its widget tree "
                        "(classes, geometry, fonts, texts, grid cells) to FILE."),
         QStringLiteral("FILE")},
        {QStringLiteral("dependency-version"),
         QStringLiteral("The work center answers DependencyVersion with N (default 8000; 7000 to 7099 for "
                        "the older build of a program)."),
         QStringLiteral("N")},
        {QStringLiteral("password-file"),
         QStringLiteral("File whose first line is the password for a server reached over the network "
                        "(else KVX_PASSWORD, KVX_PASSWORD_FILE or a prompt)."),
         QStringLiteral("FILE")},
    });
    if (!p.parse(args)) return p.errorText();
    if (p.isSet(QStringLiteral("help"))) return p.helpText();
    if (!p.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument: %1").arg(p.positionalArguments().first());
    o.modulePath = p.value(QStringLiteral("module"));
    if (p.isSet(QStringLiteral("user"))) o.user = p.value(QStringLiteral("user"));
    if (p.isSet(QStringLiteral("company"))) o.company = p.value(QStringLiteral("company"));
    if (p.isSet(QStringLiteral("db"))) o.database = p.value(QStringLiteral("db"));
    for (const auto& [name, target] :
         {std::pair{QStringLiteral("open-mode"), &o.openMode}, std::pair{QStringLiteral("rights"), &o.rights},
          std::pair{QStringLiteral("dependency-version"), &o.dependencyVersion}}) {
        if (!p.isSet(name)) continue;
        int value = 0;
        if (!parseNumber(p.value(name), value)) return QStringLiteral("--%1 needs a number").arg(name);
        *target = value;
    }
    if (p.isSet(QStringLiteral("open-param"))) o.openParam = p.value(QStringLiteral("open-param"));
    o.passwordFile = p.value(QStringLiteral("password-file"));
    o.modal = p.isSet(QStringLiteral("modal"));
    o.screenshot = p.value(QStringLiteral("screenshot"));
    o.firstPaint = p.isSet(QStringLiteral("first-paint"));
    o.dumpWidgets = p.value(QStringLiteral("dump-widgets"));
    return {};
}

Pellan::Pellan(PellanOptions options, QTextStream& out, QTextStream& err)
    : options_(std::move(options)), out_(out), err_(err) {}

QString Pellan::defaultModulePath() {
    kvx::Registry reg;
    if (!reg.openKeyReadOnly(QStringLiteral("Software\\KVX\\Stavelo"))) return {};
    QString client = reg.readString(QStringLiteral("ClientPath"));
    if (client.isEmpty()) return {};
    if (!client.endsWith(QLatin1Char('/'))) client += QLatin1Char('/');
    return client + QStringLiteral("C_PKG/QLDI05C.so");
}

QString Pellan::notificationName(int32_t code) {
    switch (code) {
    case DLLNOTIFY_CREATED:
        return QStringLiteral("created");
    case DLLNOTIFY_SHOWN:
        return QStringLiteral("shown");
    case DLLNOTIFY_HIDDEN:
        return QStringLiteral("hidden");
    case DLLNOTIFY_DESTROYED:
        return QStringLiteral("destroyed");
    case DLLNOTIFY_CLOSED:
        return QStringLiteral("closed");
    default:
        return QStringLiteral("unknown");
    }
}

int Pellan::fail(const QString& text) {
    err_ << "pellan: " << printable(text) << Qt::endl;
    return 1;
}

QString Pellan::prepareCredentials() {
    const pellan::ServerAddress address = pellan::ServerAddress::fromConfiguration();
    if (address.host == QLatin1String("127.0.0.1")) return {}; // in process: no sign-in
    if (fontConfigurationWait_) fontConfigurationWait_();      // no setenv beside its getenv
    if (qEnvironmentVariableIsEmpty("KVX_USER")) qputenv("KVX_USER", options_.user.toUtf8());
    if (!options_.passwordFile.isEmpty())
        qputenv("KVX_PASSWORD_FILE", QFile::encodeName(options_.passwordFile));
    if (!qEnvironmentVariableIsEmpty("KVX_PASSWORD") || !qEnvironmentVariableIsEmpty("KVX_PASSWORD_FILE"))
        return {};
    if (!::isatty(STDIN_FILENO))
        return QStringLiteral(
                   "the server %1:%2 needs a password: set KVX_PASSWORD or KVX_PASSWORD_FILE, or give "
                   "--password-file")
            .arg(address.host)
            .arg(address.port);
    std::fprintf(stderr, "Password for %s at %s: ", qPrintable(qEnvironmentVariable("KVX_USER")),
                 qPrintable(address.host));
    std::fflush(stderr);
    termios saved{};
    const bool tty = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (tty) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, stdin) != nullptr;
    if (tty) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fprintf(stderr, "\n");
    if (!read) return QStringLiteral("no password given");
    qputenv("KVX_PASSWORD", QByteArray(line).trimmed());
    return {};
}

int Pellan::run() {
    if (const QString why = prepareCredentials(); !why.isEmpty()) return fail(why);
    QString path = options_.modulePath.isEmpty() ? defaultModulePath() : options_.modulePath;
    if (path.isEmpty()) return fail(QStringLiteral("no --module given and no ClientPath in the registry"));
    path = QFileInfo(path).absoluteFilePath(); // the program derives its code from the full name

    if (!options_.screenshot.isEmpty()) {
        // Unattended: message boxes are answered with their default button and reported.
        auto& dialogs = kvx::DialogService::instance();
        dialogs.setScripted(true);
        dialogs.setObserver(
            [this](const kvx::MessageRequest& r) { out_ << "message: " << printable(r.text) << Qt::endl; });
    }

    // The library stays loaded to the end of the process (QLibrary does not unload on destruction).
    QLibrary library(path);
    if (!library.load()) return fail(QStringLiteral("cannot load %1: %2").arg(path, library.errorString()));
    kvx::startupCheckpoint("module loaded");
    auto getController = reinterpret_cast<TGetControllerFn>(library.resolve(kGetControllerSymbol));
    if (!getController) return fail(QStringLiteral("%1 does not export %2").arg(path, kGetControllerSymbol));

    kvx::Variant workCenter;
    try {
        std::shared_ptr<kvx::Dispatch> wc = kvx::CreateOleObject(kWorkCenterProgId);
        if (options_.dependencyVersion)
            wc = std::make_shared<VersionedWorkCenter>(std::move(wc), *options_.dependencyVersion);
        workCenter = kvx::Variant(std::move(wc));
        kvx::startupCheckpoint("work center");
    } catch (const std::exception& e) {
        return fail(QStringLiteral("cannot create the work center %1: %2")
                        .arg(kWorkCenterProgId, QString::fromUtf8(e.what())));
    }

    std::unique_ptr<TDLLBaseController> controller;
    try {
        controller.reset(getController());
        if (!controller) return fail(QStringLiteral("GetController returned no controller"));
        controller->WorkCenter = workCenter;
        controller->OnNotify = [this](int32_t code, TDLLBaseController*) {
            out_ << QStringLiteral("notify 0x%1 %2 %3").arg(code, 0, 16).arg(code).arg(notificationName(code))
                 << Qt::endl;
        };
        const int rc = drive(*controller);
        controller.reset(); // frees a window still open
        return rc;
    } catch (const std::exception& e) {
        const int rc = fail(QString::fromUtf8(e.what()));
        try {
            controller.reset();
        } catch (const std::exception& e2) {
            fail(QString::fromUtf8(e2.what()));
        }
        return rc;
    }
}

int Pellan::drive(TDLLBaseController& c) {
    kvx::Variant params = kvx::Variant::array(0, 4);
    params[0] = options_.user;
    params[1] = options_.company;
    params[2] = options_.database;
    params[3] = 0;                        // the shell has no main window of its own here
    params[4] = QStringLiteral("pellan"); // context value
    if (fontConfigurationWait_) fontConfigurationWait_();
    if (c.CreateProgram(params) != 0) return fail(QStringLiteral("CreateProgram failed"));
    kvx::startupCheckpoint("CreateProgram");

    QString version;
    c.GetVersion(version);
    kvx::Variant info;
    if (c.GetLoginInfo(info) == 0) {
        QStringList parts;
        for (const kvx::Variant& v : info.toList())
            parts << describe(v);
        out_ << "program: " << parts.join(QLatin1Char(' ')) << " version " << version << Qt::endl;
    }

    if (options_.openParam) {
        kvx::Variant param = kvx::Variant::fromList({QString(), *options_.openParam});
        if (c.SetOpenParam(param) != 0) return fail(QStringLiteral("SetOpenParam failed"));
    }
    if (options_.openMode || options_.rights) {
        if (c.SetOpenMode(options_.openMode.value_or(0), options_.rights.value_or(0xFF), kvx::Variant()) != 0)
            return fail(QStringLiteral("SetOpenMode failed"));
    }

    // Outlives this call with the window's reporter.
    const auto dumpWritten = std::make_shared<bool>(options_.dumpWidgets.isEmpty());
    if (options_.firstPaint || !options_.dumpWidgets.isEmpty() || kvx::startupTraceEnabled())
        if (QWidget* w = QWidget::find(WId(c.GetWindowHandle()))) {
            std::function<void(QWidget*)> dump;
            if (!options_.dumpWidgets.isEmpty())
                dump = [this, dumpWritten](QWidget* window) {
                    if (const QString why = pellan::dumpWidgets(window, options_.dumpWidgets); !why.isEmpty())
                        fail(why);
                    else
                        *dumpWritten = true;
                };
            new FirstPaintReporter(w, out_, options_.firstPaint, std::move(dump));
        }

    bool shotTaken = true;
    QTimer shotTimer; // stops with this call
    if (!options_.screenshot.isEmpty()) {
        shotTaken = false;
        shotTimer.setSingleShot(true);
        QObject::connect(&shotTimer, &QTimer::timeout,
                         [this, &c, &shotTaken] { shotTaken = takeScreenshot(c); });
        shotTimer.start(kScreenshotDelayMs);
    }

    if (options_.modal) {
        kvx::Variant result;
        c.ShowProgramModal(result);
        out_ << "modal result: " << describe(result) << Qt::endl;
    } else {
        c.SetVisible(-1);
        kvx::startupCheckpoint("SetVisible");
        if (!c.IsClosed()) {
            QEventLoop loop;
            // Ends when the window is destroyed, or when the last window was closed.
            auto previous = c.OnNotify;
            c.OnNotify = [previous, &loop](int32_t code, TDLLBaseController* sender) {
                if (previous) previous(code, sender);
                if (code == DLLNOTIFY_DESTROYED) loop.quit();
            };
            QObject::connect(qApp, &QGuiApplication::lastWindowClosed, &loop, &QEventLoop::quit);
            if (!c.IsClosed()) loop.exec();
            c.OnNotify = previous;
        }
        // Let a window that freed itself on closing finish; one still there is closed by the shell.
        QCoreApplication::sendPostedEvents();
        if (!c.IsClosed()) c.CloseProgram(false);
    }
    out_ << "result: " << c.ResultCode << ' ' << describe(c.ResultValue) << Qt::endl;
    if (!shotTaken) return fail(QStringLiteral("the window closed before it could be rendered"));
    if (!*dumpWritten)
        return fail(QStringLiteral("no widget description written to %1").arg(options_.dumpWidgets));
    return 0;
}

bool Pellan::takeScreenshot(TDLLBaseController& c) {
    QPointer<QWidget> w = QWidget::find(WId(c.GetWindowHandle()));
    if (!w || !w->isVisible()) {
        if (w) w->close();
        return false;
    }
    const QPixmap shot = w->grab();
    if (!shot.save(options_.screenshot, "PNG")) {
        fail(QStringLiteral("cannot write %1").arg(options_.screenshot));
        w->close();
        return false;
    }
    out_ << "screenshot: " << options_.screenshot << ' ' << shot.width() << 'x' << shot.height() << Qt::endl;
    w->close();
    // A window that refuses to close is closed by the shell.
    if (w && w->isVisible()) c.CloseProgram(false);
    return true;
}
