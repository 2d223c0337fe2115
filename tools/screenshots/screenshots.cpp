// Makes the README's pictures from the real window, offscreen:
//   kelmor-screenshots OUTDIR          the window after start-up, and the settings dialog
//   kelmor-screenshots OUTDIR --run    a monitoring run against the gauge on Com1
//   kelmor-screenshots OUTDIR --trend  the trend window over a pump-down with a degas,
//                                      against a gauge on Com1 that pumps down in 40 s
//   kelmor-screenshots OUTDIR --leak-test  the leak test on a gauge on Com1 that pumps
//                                      down in 20 s and then rises by 2E-06 mbar/s
//   kelmor-screenshots OUTDIR --icon   the window icon as a PNG for the desktop theme
// Without KELMOR_COM1 in the environment Com1 is a pseudo-terminal of its own, so the
// start-up pictures need no gauge.

#include "failuremessage.h"
#include "form1.h"
#include "frmproperties.h"
#include "lifebitlamp.h"
#include "rawpty.h"
#include "risetestpanel.h"
#include "settingsok.h"
#include "trendwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

using namespace kelmor;

namespace {

void wait(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool save(QWidget *w, const QString &path)
{
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

template <typename T> T *control(const Form1 &f, const char *name)
{
    return f.findChild<T *>(QString::fromLatin1(name));
}

void click(Form1 &f, const char *name)
{
    if (auto *b = control<QAbstractButton>(f, name))
        b->click();
}

TrendWindow *trendWindowOf(const Form1 &f)
{
    return f.findChild<TrendWindow *>(QString(), Qt::FindDirectChildrenOnly);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initApplication();
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: kelmor-screenshots OUTDIR [--run | --icon]\n");
        return 2;
    }
    const QDir out(args.at(1));
    QDir().mkpath(out.path());
    const bool run = args.contains(QStringLiteral("--run"));

    if (args.contains(QStringLiteral("--icon"))) {
        Form1 f;
        return f.windowIcon().pixmap(32, 32).save(
                   out.filePath(QStringLiteral("monitor-kelmor.png")))
                   ? 0
                   : 1;
    }

    std::optional<tools::RawPty> ownLine;
    if (qEnvironmentVariableIsEmpty("KELMOR_COM1")) {
        ownLine.emplace();
        if (!ownLine->isOpen()) {
            std::fprintf(stderr, "%s\n", ownLine->error().c_str());
            return 1;
        }
        qputenv("KELMOR_COM1", QByteArray::fromStdString(ownLine->slavePath()));
    }
    setFailureMessageHandler([](QWidget *, const QString &text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    });

    // The log of a demonstration run goes to a scratch folder, not the operator's file.
    QTemporaryDir scratch;
    Form1 window(scratch.filePath(QStringLiteral("KelmorLog.txt")));
    tools::clickSettingsOkWhenShown(&app);
    window.load();
    window.show();
    wait(200);

    if (args.contains(QStringLiteral("--trend"))) {
        // Autorange measures with the IG once the pressure is low; degas is switched on
        // there for a while, and the version asked for once (a mark on the time axis).
        auto *degas = control<QCheckBox>(window, "CheckDegas");
        click(window, "CmdVerlauf");
        click(window, "cmdMonitor");
        wait(16000);
        degas->click();
        click(window, "CmdSenden");
        wait(8000);
        degas->click();
        click(window, "CmdSenden");
        wait(2000);
        click(window, "CmdBefehl");
        wait(16000);
        TrendWindow *trend = trendWindowOf(window);
        if (!trend)
            return 1;
        trend->resize(960, 680);
        trend->showAll();
        wait(300);
        const bool ok = save(trend, out.filePath(QStringLiteral("trend-window.png")));
        click(window, "cmdMonitor");
        wait(200);
        return ok ? 0 : 1;
    }

    if (args.contains(QStringLiteral("--leak-test"))) {
        click(window, "CmdVerlauf");
        click(window, "cmdMonitor");
        wait(48000);
        TrendWindow *trend = trendWindowOf(window);
        if (!trend || trend->shownStore().isEmpty())
            return 1;
        trend->resize(1280, 720);
        trend->showAll();
        RiseTestPanel *panel = trend->riseTest();
        panel->findChild<QLineEdit *>(QStringLiteral("txtVolumen"))->setText(QStringLiteral("25"));
        panel->findChild<QLineEdit *>(QStringLiteral("txtGrenzwert"))
            ->setText(QStringLiteral("1E-04"));
        // From a few seconds after the valve closed to the newest line.
        const TrendStore &store = trend->shownStore();
        trend->markStretch(store.first().time + 25000, store.last().time);
        wait(300);
        const bool ok =
            panel->result().isValid() && save(trend, out.filePath(QStringLiteral("leak-test.png")));
        click(window, "cmdMonitor");
        wait(200);
        return ok ? 0 : 1;
    }

    if (!run) {
        bool ok = save(&window, out.filePath(QStringLiteral("main-window.png")));
        click(window, "CmdCom");
        wait(200);
        // The dialog has no owner: it is a window of its own.
        QWidget *dialog = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            dialog = qobject_cast<FrmProperties *>(top) && top->isVisible() ? top : dialog;
        ok = dialog && save(dialog, out.filePath(QStringLiteral("settings-dialog.png"))) && ok;
        return ok ? 0 : 1;
    }

    // A run as an operator would make it: manual IG with degas, send the control word,
    // ask for the version, start monitoring and let the gauge talk for a while.
    auto box = [&](const char *name) { return control<QCheckBox>(window, name); };
    box("CheckAutorange")->click();
    box("CheckIG")->click();
    box("CheckDegas")->click();
    click(window, "CmdSenden");
    wait(300);
    click(window, "CmdBefehl");
    wait(300);
    click(window, "cmdMonitor");
    wait(args.contains(QStringLiteral("--long")) ? 8000 : 3000);
    // The life-bit lamp blinks with the gauge's lines; take it filled.
    if (auto *life = control<LifeBitLamp>(window, "ShapeLB")) {
        QElapsedTimer t;
        t.start();
        while (!life->isLit() && t.elapsed() < 1000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    const bool ok = save(&window, out.filePath(QStringLiteral("monitoring-run.png")));
    click(window, "cmdMonitor");
    wait(200);
    return ok ? 0 : 1;
}
