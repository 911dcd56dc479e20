#pragma once
// Finding the windows' widgets in tests; texts that do not fit; settings of their own.
#include "base/resources_registration.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QStringList>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTranslator>
#include <QTreeView>
#include <QWidget>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace test_support {

// The named child widget; a test that asks for a widget the form does not have stops at once.
template <typename T>
T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no widget %s", name);
    return c;
}

// Moves the program's settings (the folders the file questions remember) to an empty folder of
// their own for the rest of the process, or until the next call.
inline void fresh_settings()
{
    static std::unique_ptr<QTemporaryDir> folder;
    folder = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", folder->path().toLocal8Bit());
}

// The CANopen window's command column, in the order the guided sequence runs.
constexpr const char *canopen_column_names[] = {
    "Stop_remote_node", "Reset_communication", "Operating_mode",    "Set_velocity", "Disable_Sync", "Set_cycle_period",
    "TPDO_MAP",         "RPDO_MAP",            "Start_remote_node", "Enable_Sync",  "Enable"};

// The texts of a shown window that do not fit where they are: buttons and one-line labels
// narrower than their size hint, tree cells (collapsed ones included) narrower than their
// delegate asks. Empty when every text is whole.
inline QStringList cut_texts(QWidget *window)
{
    // New texts and sizes reach the geometries through posted layout requests, one level a pass.
    for (int pass = 0; pass < 4; ++pass) {
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QApplication::processEvents();
    }
    QStringList cut;
    for (QAbstractButton *b : window->findChildren<QAbstractButton *>()) {
        if (b->isVisibleTo(window) && !b->text().isEmpty() && b->width() < b->sizeHint().width())
            cut << b->objectName() + QLatin1Char(' ') + b->text();
    }
    for (QLabel *l : window->findChildren<QLabel *>()) {
        if (l->isVisibleTo(window) && !l->text().isEmpty() && !l->wordWrap() && l->width() < l->sizeHint().width())
            cut << l->objectName() + QLatin1Char(' ') + l->text();
    }
    for (QTreeView *view : window->findChildren<QTreeView *>()) {
        if (!view->isVisibleTo(window))
            continue;
        view->expandAll();
        const QAbstractItemModel *m = view->model();
        const std::function<void(const QModelIndex &)> walk = [&](const QModelIndex &parent) {
            for (int r = 0; r < m->rowCount(parent); ++r) {
                for (int c = 0; c < m->columnCount(parent); ++c) {
                    const QModelIndex i = m->index(r, c, parent);
                    if (!m->data(i).toString().isEmpty() && view->visualRect(i).width() < view->sizeHintForIndex(i).width())
                        cut << view->objectName() + QLatin1Char(' ') + m->data(i).toString();
                }
                walk(m->index(r, 0, parent));
            }
        };
        walk(QModelIndex());
    }
    return cut;
}

// The texts a user of the English interface sees in the window that have a part with Chinese and
// no Latin letter ("1 帧", "错误"); parts lie between ASCII commas or semicolons, so "读取完成/read",
// "已读取 1，被拒绝 0/read 1, refused 0" and "连接\nConnect" pass. Titles, labels, buttons, group
// boxes, placeholders, tabs, combo box items, the status bar, menu entries, headings and first rows.
inline QStringList chinese_without_english(QWidget *window)
{
    static const QRegularExpression chinese_part(
        QStringLiteral("(?:^|[,;])[^,;A-Za-z]*[\\x{4e00}-\\x{9fff}][^,;A-Za-z]*(?:[,;]|$)"));
    QStringList texts{window->windowTitle()};
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(window))
            continue;
        if (auto *l = qobject_cast<QLabel *>(w))
            texts << l->text();
        else if (auto *b = qobject_cast<QAbstractButton *>(w))
            texts << b->text();
        else if (auto *g = qobject_cast<QGroupBox *>(w))
            texts << g->title();
        else if (auto *e = qobject_cast<QLineEdit *>(w))
            texts << e->placeholderText();
        else if (auto *t = qobject_cast<QTabBar *>(w))
            for (int i = 0; i < t->count(); ++i)
                texts << t->tabText(i);
        else if (auto *c = qobject_cast<QComboBox *>(w))
            for (int i = 0; i < c->count(); ++i)
                texts << c->itemText(i);
        else if (auto *bar = qobject_cast<QStatusBar *>(w))
            texts << bar->currentMessage();
        else if (auto *v = qobject_cast<QAbstractItemView *>(w))
            for (int c = 0; v->model() && c < v->model()->columnCount(); ++c) {
                texts << v->model()->headerData(c, Qt::Horizontal).toString();
                for (int r = 0; r < qMin(v->model()->rowCount(), 50); ++r)
                    texts << v->model()->index(r, c).data().toString();
            }
    }
    for (QAction *a : window->findChildren<QAction *>())
        texts << a->text();
    return texts.filter(chinese_part);
}

// Where the window does not fit a 1366x768 laptop: opened larger than 1280x720, or with a
// minimum larger than the screen less a panel and a title bar.
inline QStringList beyond_a_laptop_screen(QWidget *window)
{
    const QSize minimum = window->minimumSizeHint().expandedTo(window->minimumSize());
    if (window->width() <= 1280 && window->height() <= 720 && minimum.width() <= 1366 && minimum.height() <= 700)
        return {};
    return {QStringLiteral("%1x%2 at least %3x%4").arg(window->width()).arg(window->height()).arg(minimum.width()).arg(minimum.height())};
}

// cut_texts() of the window at its default size and at its minimum, with the bilingual texts
// and with each language's catalogue installed, each finding prefixed by where it was seen;
// with the English catalogue also chinese_without_english(), and beyond_a_laptop_screen().
inline QStringList cut_texts_in_every_language(QWidget *window)
{
    velmora_resources_registered();
    QStringList cut;
    const QSize default_size = window->size();
    const char *const catalogues[] = {nullptr, ":/chinese", ":/english"};
    for (const char *catalogue : catalogues) {
        QTranslator translator;
        if (catalogue && !translator.load(QLatin1String(catalogue)))
            qFatal("no catalogue %s", catalogue);
        if (catalogue)
            QApplication::installTranslator(&translator);
        for (const QSize size : {default_size, QSize(1, 1)}) {
            window->resize(size);  // clamped to the minimum the layout allows
            const QString where = QStringLiteral("%1 at %2x%3: ")
                                      .arg(QLatin1String(catalogue ? catalogue : "bilingual"))
                                      .arg(window->width())
                                      .arg(window->height());
            for (const QString &text : cut_texts(window))
                cut << where + text;
            if (catalogue && QLatin1String(catalogue) == QLatin1String(":/english") && size == default_size)
                for (const QString &text : chinese_without_english(window))
                    cut << where + QStringLiteral("no English: ") + text;
        }
        if (catalogue)
            QApplication::removeTranslator(&translator);
    }
    window->resize(default_size);
    for (const QString &text : beyond_a_laptop_screen(window))
        cut << text;
    return cut;
}

}  // namespace test_support
