#pragma once

#include "core/Cleanup.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class QTableWidget;

/// "清理报告": what cleanup changed in the pass just ended, rule by rule with the first examples;
/// "保存报告" writes it as 清理报告.txt into the output folder.
class CleanReportDialog : public QDialog {
    Q_OBJECT

public:
    CleanReportDialog(const CleanupLedger& ledger, const QString& folder, QWidget* owner);
    /// Writes 清理报告.txt into the folder; false with `error` when that failed.
    bool save(QString* error);
    QString reportPath() const;

private:
    CleanupLedger m_ledger;
    QString m_folder;
    QTableWidget* lvwReport;
    QPlainTextEdit* txtExamples;
    QPushButton* btnSave;
    QPushButton* btnClose;
};
