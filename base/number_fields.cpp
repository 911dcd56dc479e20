#include "base/number_fields.h"

#include "base/desktop_seams.h"

#include <QCoreApplication>
#include <QLineEdit>

bool number_text_blank(const QString &text) { return text.trimmed().isEmpty(); }

bool number_text_acceptable(const QString &text)
{
    if (number_text_blank(text))
        return true;
    bool ok = false;
    text.toInt(&ok, 10);  // trims, and refuses anything beyond 32 bits
    return ok;
}

bool typed_numbers_ok(QWidget *window, const QList<const QLineEdit *> &fields)
{
    for (const QLineEdit *f : fields) {
        if (!number_text_acceptable(f->text())) {
            desktop_seams::question(window, QCoreApplication::translate("number_fields", "错误"),
                                    QCoreApplication::translate("number_fields", "输入数据格式错误"), QMessageBox::Ok);
            return false;
        }
    }
    return true;
}
