#pragma once

#include <QDialog>

#include <functional>

class QComboBox;
class QPushButton;
class QTabWidget;
class QFrame;
class QGroupBox;
class QLabel;

namespace kelmor {

class ComKelmor;
struct ComError;

// The port settings dialog "COM-Anschluß-Einstellungen": chooses port and speed, writes
// them into the component, opens the port and reports through panelText().
// Deletes itself whenever it closes (OK completed, "Abbrechen", close box).
class FrmProperties : public QDialog
{
    Q_OBJECT

public:
    explicit FrmProperties(ComKelmor &port, QWidget *parent = nullptr);

    // Fills both lists afresh and selects the component's current port and speed.
    void LoadPropertySettings();

    // "V1.2 Rev.3" for version 1.2.3.
    static QString versionText();

    // Looks again which device stands behind the selected entry and shows it below the
    // tab strip. Runs when the dialog is shown, when the selection changes and when the
    // port list is opened, so an adapter plugged in meanwhile appears.
    void refreshDeviceLabel();

    // Asked when a port change fails: does a monitoring run wait for lines?
    void setRunActiveQuery(std::function<bool()> query) { m_runActive = std::move(query); }

signals:
    // Panels 1, 2 and 4 of the main window's status bar (numbered from 1).
    void panelText(int panel, const QString &text);

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    void cmdOKClick();
    void cmdCancelClick();
    // True when the step went through; otherwise shows its failure.
    bool applied(const ComError &result);
    // Closes, renumbers and reopens when another port is chosen; on a failure the old
    // number is back and the port stays as the failure left it.
    ComError switchPort();
    QString chosenSettings() const;

    ComKelmor &m_port;
    QTabWidget *m_tabSettings = nullptr;
    QFrame *m_fraSettings = nullptr;
    QPushButton *m_cmdOK = nullptr;
    QComboBox *m_cboPort = nullptr;
    QLabel *m_label1 = nullptr;
    QGroupBox *m_frame1 = nullptr;
    QComboBox *m_cboSpeed = nullptr;
    QPushButton *m_cmdCancel = nullptr;
    QLabel *m_lblDevice = nullptr;
    std::function<bool()> m_runActive;
    bool m_placed = false;
};

} // namespace kelmor
