#include "tools/monitor_export.h"

#include "base/desktop_seams.h"
#include "base/language.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHeaderView>
#include <QPointer>
#include <QProgressDialog>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <memory>

namespace {

bool export_running = false;

bool replace_allowed(QWidget *parent, const QString &path)
{
    if (!QFileInfo::exists(path))
        return true;
    return desktop_seams::question(parent, QCoreApplication::translate("monitor", "提示"),
                                   QCoreApplication::translate("monitor", "文件已存在，是否替换\n%1").arg(QDir::toNativeSeparators(path)),
                                   QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}

}  // namespace

table_snapshot snapshot_table(const QTableWidget *table)
{
    table_snapshot snap;
    const int n = table->columnCount();
    for (int k = 0; k < n; ++k) {
        const QTableWidgetItem *h = table->horizontalHeaderItem(k);
        snap.headers << (h ? h->text() : QString());
        snap.widths << table->columnWidth(k);
    }
    snap.rows = table->rowCount();
    snap.cells.reserve(snap.rows * n);
    for (int r = 0; r < snap.rows; ++r) {
        for (int k = 0; k < n; ++k) {
            const QTableWidgetItem *item = table->item(r, k);
            snap.cells << (item ? item->text() : QString());
        }
    }
    return snap;
}

QString workbook_file_name(const QString &chosen)
{
    if (chosen.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        return chosen;
    return chosen + QLatin1String(".xlsx");
}

bool export_monitor_table(QTableWidget *table, QWidget *window)
{
    if (export_running)
        return false;
    export_running = true;
    struct running_guard {
        ~running_guard() { export_running = false; }
    } guard;

    // The file is an Office Open XML workbook, so the dialog offers that format.
    // The dialog would ask about the name typed, which may lack the extension the file gets;
    // the question is asked for the file really written instead (replace_allowed).
    const QString chosen = desktop_seams::choose_file(
        desktop_seams::file_mode::save_own_question, window, QStringLiteral("workbook"),
        QCoreApplication::translate("monitor", "Excle file"), QStringLiteral("./Velmora_data.xlsx"),
        QCoreApplication::translate("monitor", "Excel Files(*.xlsx)"));
    if (chosen.isEmpty())
        return false;
    const QString path = QFileInfo(workbook_file_name(chosen)).absoluteFilePath();
    if (!replace_allowed(window, path))
        return false;

    // The copy is taken at once; frames logged while the file is written go on into the
    // table and are simply not part of this workbook.
    auto snap = std::make_shared<const table_snapshot>(snapshot_table(table));

    struct outcome {
        std::atomic<int> rows_done{0};
        bool ok = false;
        QString error;
    };
    auto result = std::make_shared<outcome>();

    QEventLoop loop;
    QThread *worker = QThread::create([path, snap, result] {
        result->ok = write_monitor_workbook(path, *snap, &result->error,
                                            [result](int done, int) { result->rows_done = done; });
    });
    QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);

    // Shown only when the write lasts longer than half a second. It has no cancel button: the
    // file is assembled at the very end and a cut-short write would leave nothing useful.
    QProgressDialog dialog(in_language(QStringLiteral("正在导出…\nExporting...")), QString(), 0, snap->rows > 0 ? snap->rows : 1,
                           window);
    dialog.setWindowTitle(in_language(QStringLiteral("导出\nExport")));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(500);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setValue(0);
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &dialog, [&dialog, result] {
        dialog.setValue(result->rows_done.load());
    });
    ticker.start(100);

    worker->start();
    loop.exec();
    worker->wait();
    delete worker;
    ticker.stop();
    dialog.close();

    if (!result->ok) {
        desktop_seams::critical(window, QCoreApplication::translate("monitor", "错误"),
                                QCoreApplication::translate("monitor", "文件导出失败：%1\n%2")
                                    .arg(QDir::toNativeSeparators(path), result->error));
        return false;
    }

    if (desktop_seams::question(nullptr, QCoreApplication::translate("monitor", "完成"),
                                QCoreApplication::translate("monitor", "文件已导出，是否打开\n%1").arg(QDir::toNativeSeparators(path)),
                                QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes)
        desktop_seams::open_url(QUrl::fromLocalFile(path));
    return true;
}
