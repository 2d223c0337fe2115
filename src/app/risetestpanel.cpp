#include "risetestpanel.h"

#include "risereport.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace kelmor {

namespace {

QLabel *messageLabel(QWidget *parent, const QString &name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #b00000;"));
    label->hide();
    return label;
}

void showMessage(QLabel *label, const QString &text)
{
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

} // namespace

RiseTestPanel::RiseTestPanel(QWidget *parent)
    : QGroupBox(QStringLiteral("Druckanstiegstest"), parent)
{
    setObjectName(QStringLiteral("groupDruckanstieg"));

    m_start = new QPushButton(QStringLiteral("Start"), this);
    m_start->setObjectName(QStringLiteral("cmdAnstiegStart"));
    m_start->setToolTip(QStringLiteral("Markiert den Abschnitt ab der neuesten Zeile des "
                                       "laufenden Verlaufs."));
    m_stop = new QPushButton(QStringLiteral("Stopp"), this);
    m_stop->setObjectName(QStringLiteral("cmdAnstiegStopp"));
    m_stretchLabel = new QLabel(this);
    m_stretchLabel->setObjectName(QStringLiteral("lblAbschnitt"));
    m_stretchLabel->setWordWrap(true);
    m_stretchMessage = messageLabel(this, QStringLiteral("lblAbschnittMeldung"));

    m_volume = new QLineEdit(this);
    m_volume->setObjectName(QStringLiteral("txtVolumen"));
    m_volume->setPlaceholderText(QStringLiteral("z. B. 25"));
    m_volumeMessage = messageLabel(this, QStringLiteral("lblVolumenMeldung"));
    m_limit = new QLineEdit(this);
    m_limit->setObjectName(QStringLiteral("txtGrenzwert"));
    m_limit->setPlaceholderText(QStringLiteral("leer: ohne Grenzwert"));
    m_limitUnit = new QLabel(this);
    m_limitMessage = messageLabel(this, QStringLiteral("lblGrenzwertMeldung"));

    // A recorded run has line numbers, not times: the technician says how far apart the
    // lines were.
    m_interval = new QLineEdit(this);
    m_interval->setObjectName(QStringLiteral("txtZeilenabstand"));
    m_interval->setPlaceholderText(QStringLiteral("z. B. 0,1"));
    m_intervalLabel = new QLabel(QStringLiteral("Zeilenabstand:"), this);
    m_intervalLabel->setBuddy(m_interval);
    m_intervalUnit = new QLabel(QStringLiteral("s"), this);
    m_intervalMessage = messageLabel(this, QStringLiteral("lblZeilenabstandMeldung"));
    m_intervalLabel->hide();
    m_interval->hide();
    m_intervalUnit->hide();

    m_resultLabel = new QLabel(this);
    m_resultLabel->setObjectName(QStringLiteral("lblAnstiegErgebnis"));
    m_resultLabel->setWordWrap(true);
    m_resultLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_resultLabel->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    m_save = new QPushButton(QStringLiteral("Ergebnis speichern…"), this);
    m_save->setObjectName(QStringLiteral("cmdAnstiegSpeichern"));
    m_copy = new QPushButton(QStringLiteral("Kopieren"), this);
    m_copy->setObjectName(QStringLiteral("cmdAnstiegKopieren"));
    m_copy->setToolTip(QStringLiteral("Kopiert den Bericht in die Zwischenablage."));
    m_saveStatus = new QLabel(this);
    m_saveStatus->setObjectName(QStringLiteral("lblAnstiegGespeichert"));
    m_saveStatus->setWordWrap(true);

    auto *marking = new QHBoxLayout;
    marking->addWidget(m_start);
    marking->addWidget(m_stop);
    marking->addWidget(m_stretchLabel, 1);

    auto *inputs = new QGridLayout;
    auto *volumeLabel = new QLabel(QStringLiteral("Volumen:"), this);
    volumeLabel->setBuddy(m_volume);
    auto *limitLabel = new QLabel(QStringLiteral("Grenzwert:"), this);
    limitLabel->setBuddy(m_limit);
    inputs->addWidget(volumeLabel, 0, 0);
    inputs->addWidget(m_volume, 0, 1);
    inputs->addWidget(new QLabel(QStringLiteral("l"), this), 0, 2);
    inputs->addWidget(m_volumeMessage, 1, 1, 1, 2);
    inputs->addWidget(limitLabel, 2, 0);
    inputs->addWidget(m_limit, 2, 1);
    inputs->addWidget(m_limitUnit, 2, 2);
    inputs->addWidget(m_limitMessage, 3, 1, 1, 2);
    inputs->addWidget(m_intervalLabel, 4, 0);
    inputs->addWidget(m_interval, 4, 1);
    inputs->addWidget(m_intervalUnit, 4, 2);
    inputs->addWidget(m_intervalMessage, 5, 1, 1, 2);
    inputs->setColumnStretch(1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_save);
    buttons->addWidget(m_copy);
    buttons->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(marking);
    layout->addWidget(m_stretchMessage);
    layout->addLayout(inputs);
    layout->addWidget(m_resultLabel, 1);
    layout->addLayout(buttons);
    layout->addWidget(m_saveStatus);

    connect(m_start, &QPushButton::clicked, this, [this] {
        m_marking = true;
        updateButtons();
        emit markingStarted();
    });
    connect(m_stop, &QPushButton::clicked, this, [this] {
        m_marking = false;
        updateButtons();
        emit markingStopped();
    });
    connect(m_volume, &QLineEdit::textChanged, this, [this] { recompute(); });
    connect(m_limit, &QLineEdit::textChanged, this, [this] { recompute(); });
    connect(m_interval, &QLineEdit::textChanged, this, [this] { recompute(); });
    connect(m_save, &QPushButton::clicked, this, [this] { chooseFileAndSave(); });
    connect(m_copy, &QPushButton::clicked, this, [this] {
        copyReport();
        m_saveStatus->setText(QStringLiteral("Bericht in die Zwischenablage kopiert."));
    });

    setUnits(m_units);
    clearStretch();
}

void RiseTestPanel::setUnits(const PressureUnits &units)
{
    const UnitOfPressure previous = m_units.displayUnit();
    m_units = units;
    m_limitUnit->setText(leakRateUnitName(m_units.displayUnit()));
    if (previous != m_units.displayUnit())
        onUnitChanged(previous);
    recompute();
}

// A limit typed in one unit keeps its value when the technician switches units.
void RiseTestPanel::onUnitChanged(UnitOfPressure previous)
{
    const std::optional<double> limit = parseGermanNumber(m_limit->text());
    if (!limit || !std::isfinite(*limit))
        return;
    const double mbarLitre = leakRateToMbarLitre(*limit, previous);
    const QSignalBlocker blocker(m_limit);
    m_limit->setText(germanScientific(leakRateFromMbarLitre(mbarLitre, m_units.displayUnit())));
}

void RiseTestPanel::setStretch(const RiseStretch &stretch, const QString &description)
{
    m_stretch = stretch;
    m_hasStretch = true;
    m_stretchDescription = description;
    m_stretchLabel->setText(
        QStringLiteral("Abschnitt: %1 (%2 Zeilen)").arg(description).arg(stretch.samples.size()));
    recompute();
}

void RiseTestPanel::clearStretch()
{
    m_stretch = {};
    m_hasStretch = false;
    m_stretchDescription.clear();
    m_stretchLabel->setText(QStringLiteral("Kein Abschnitt markiert: im Diagramm mit gedrückter "
                                           "Umschalttaste ziehen oder Start/Stopp benutzen."));
    recompute();
}

void RiseTestPanel::setLiveRun(bool live)
{
    m_live = live;
    if (!live && m_marking) {
        m_marking = false;
        emit markingStopped();
    }
    updateButtons();
}

void RiseTestPanel::updateButtons()
{
    m_start->setEnabled(m_live && !m_marking);
    m_stop->setEnabled(m_marking);
    const bool valid = m_hasStretch && m_result.isValid();
    m_save->setEnabled(valid);
    m_copy->setEnabled(valid);
}

void RiseTestPanel::recompute()
{
    RiseSettings settings;
    const QString volumeText = m_volume->text();
    settings.volumeLitres =
        parseGermanNumber(volumeText).value_or(std::numeric_limits<double>::quiet_NaN());
    const QString limitText = m_limit->text().trimmed();
    if (!limitText.isEmpty()) {
        // Text that does not read as a number is an absurd limit, not an absent one.
        const std::optional<double> limit = parseGermanNumber(limitText);
        settings.limitMbarLitre = limit ? leakRateToMbarLitre(*limit, m_units.displayUnit())
                                        : std::numeric_limits<double>::quiet_NaN();
    }

    QString intervalProblem;
    double interval = 1.0;
    if (m_lineNumbers) {
        interval = parseGermanNumber(m_interval->text())
                       .value_or(std::numeric_limits<double>::quiet_NaN());
        if (!(std::isfinite(interval) && interval > 0.0)) {
            intervalProblem = QStringLiteral("Bitte den Zeilenabstand in Sekunden als Zahl "
                                             "größer als 0 eingeben: der Log speichert keine "
                                             "Zeit je Zeile.");
        }
    }

    m_secondsPerLine =
        intervalProblem.isEmpty() ? interval : std::numeric_limits<double>::quiet_NaN();

    // The inputs' own checks, with or without a stretch.
    const RiseResult inputs = analyseRise({}, settings);
    if (m_hasStretch) {
        RiseStretch stretch = m_stretch;
        for (RiseSample &sample : stretch.samples)
            sample.seconds *= interval;
        m_result = analyseRise(stretch, settings);
    } else {
        m_result = {};
    }
    const QString stretchMessages =
        m_hasStretch ? m_result.messages(RiseInput::Stretch) : QString();
    // No figures from a guessed time axis.
    if (m_hasStretch && !intervalProblem.isEmpty())
        m_result.problems.append({RiseInput::Stretch, intervalProblem});

    // Before anything is typed or marked, an empty volume is only missing, not wrong.
    showMessage(m_intervalMessage, m_lineNumbers && (m_hasStretch || !m_interval->text().isEmpty())
                                       ? intervalProblem
                                       : QString());
    showMessage(m_stretchMessage, stretchMessages);
    showMessage(m_volumeMessage, m_hasStretch || !volumeText.trimmed().isEmpty()
                                     ? inputs.messages(RiseInput::Volume)
                                     : QString());
    showMessage(m_limitMessage, inputs.messages(RiseInput::Limit));

    if (!m_hasStretch) {
        m_resultLabel->setText(QString());
    } else if (m_result.isValid()) {
        m_resultLabel->setText(riseResultLines(m_result, m_units.displayUnit()).join('\n'));
    } else {
        m_resultLabel->setText(QStringLiteral("Kein gültiges Ergebnis."));
    }
    m_saveStatus->clear();
    updateButtons();
    emit resultChanged();
}

void RiseTestPanel::setLineNumbers(bool lineNumbers)
{
    m_lineNumbers = lineNumbers;
    m_intervalLabel->setVisible(lineNumbers);
    m_interval->setVisible(lineNumbers);
    m_intervalUnit->setVisible(lineNumbers);
    recompute();
}

QString RiseTestPanel::resultText() const
{
    return m_resultLabel->text();
}

QString RiseTestPanel::volumeMessage() const
{
    return m_volumeMessage->isVisibleTo(this) ? m_volumeMessage->text() : QString();
}

QString RiseTestPanel::limitMessage() const
{
    return m_limitMessage->isVisibleTo(this) ? m_limitMessage->text() : QString();
}

QString RiseTestPanel::stretchMessage() const
{
    return m_stretchMessage->isVisibleTo(this) ? m_stretchMessage->text() : QString();
}

QString RiseTestPanel::reportText() const
{
    RiseReportInfo info{QDateTime::currentDateTime(), m_run, m_stretchDescription,
                        m_units.displayUnit()};
    return riseReportText(m_result, info);
}

QString RiseTestPanel::reportCsv() const
{
    RiseReportInfo info{QDateTime::currentDateTime(), m_run, m_stretchDescription,
                        m_units.displayUnit()};
    return riseReportCsv(m_result, info);
}

bool RiseTestPanel::saveReport(const QString &path, QString *error)
{
    const bool csv = path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
    QByteArray bytes;
    if (csv) {
        // Spreadsheet programs take a UTF-8 file for one only when it says so.
        bytes = QByteArray("\xEF\xBB\xBF") + reportCsv().toUtf8();
    } else {
        bytes = reportText().toUtf8();
    }
    QSaveFile file(path);
    const bool ok =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    const QString name = QDir::toNativeSeparators(path);
    if (ok) {
        m_saveStatus->setText(QStringLiteral("Ergebnis gespeichert: %1").arg(name));
    } else {
        const QString reason = file.errorString();
        m_saveStatus->setText(
            QStringLiteral("Ergebnis nicht gespeichert: %1 (%2)").arg(name, reason));
        if (error)
            *error = reason;
    }
    return ok;
}

void RiseTestPanel::copyReport() const
{
    QGuiApplication::clipboard()->setText(reportText());
}

void RiseTestPanel::chooseFileAndSave()
{
    QString selected;
    const QString suggestion = QDir::home().filePath(
        QStringLiteral("Druckanstieg-%1.txt")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    const QString textFilter = QStringLiteral("Textbericht (*.txt)");
    const QString csvFilter = QStringLiteral("CSV-Datei (*.csv)");
    QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Ergebnis speichern"), suggestion,
                                     textFilter + ";;" + csvFilter, &selected);
    if (path.isEmpty())
        return;
    const QString wanted = selected == csvFilter ? QStringLiteral("csv") : QStringLiteral("txt");
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + wanted;
    saveReport(path);
}

} // namespace kelmor
