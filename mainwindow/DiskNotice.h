#pragma once

#include "ui_DiskNotice.h"

#include <QFrame>

namespace ostrel {

// A notice across the main window, above the editor, that tells of the
// loaded record's file changed or deleted by another program. It asks
// nothing and blocks nothing: the user reads it, closes it or goes on.
class DiskNotice : public QFrame, public Ui::DiskNoticeForm {
    Q_OBJECT

public:
    explicit DiskNotice(QWidget* parent);

    // Shows the text (and tells screen readers); hides the notice.
    void tell(const QString& text);
    void dismiss();
};

} // namespace ostrel
