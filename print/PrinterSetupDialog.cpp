#include "PrinterSetupDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace ostrel::print {

PrinterSetupDialog::PrinterSetupDialog(const PrinterSettings& current, QWidget* parent)
    : QDialog(parent), m_initial(current) {
    setObjectName(QStringLiteral("PrinterSetupDialog"));
    setWindowTitle(QStringLiteral("プリンタの設定"));

    m_printers = new QComboBox(this);
    m_printers->setObjectName(QStringLiteral("PrinterCmb"));
    QStringList names = QPrinterInfo::availablePrinterNames();
    if (!names.contains(current.printer))
        names.prepend(current.printer);
    m_printers->addItems(names);
    m_printers->setCurrentText(current.printer);

    m_papers = new QComboBox(this);
    m_papers->setObjectName(QStringLiteral("PaperCmb"));

    m_portrait = new QRadioButton(QStringLiteral("縦(&O)"), this);
    m_portrait->setObjectName(QStringLiteral("PortraitRdb"));
    m_landscape = new QRadioButton(QStringLiteral("横(&A)"), this);
    m_landscape->setObjectName(QStringLiteral("LandscapeRdb"));
    (current.layout.orientation() == QPageLayout::Landscape ? m_landscape : m_portrait)
        ->setChecked(true);

    auto* printerBox = new QGroupBox(QStringLiteral("プリンタ"), this);
    auto* printerForm = new QFormLayout(printerBox);
    printerForm->addRow(QStringLiteral("プリンタ名(&N):"), m_printers);
    auto* paperBox = new QGroupBox(QStringLiteral("用紙"), this);
    auto* paperForm = new QFormLayout(paperBox);
    paperForm->addRow(QStringLiteral("サイズ(&Z):"), m_papers);
    auto* orientationBox = new QGroupBox(QStringLiteral("印刷の向き"), this);
    auto* orientationRow = new QHBoxLayout(orientationBox);
    orientationRow->addWidget(m_portrait);
    orientationRow->addWidget(m_landscape);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* column = new QVBoxLayout(this);
    column->addWidget(printerBox);
    column->addWidget(paperBox);
    column->addWidget(orientationBox);
    column->addWidget(buttons);

    listPapers(current.layout.pageSize());
    connect(m_printers, &QComboBox::currentTextChanged, this, [this] {
        const int i = m_papers->currentIndex();
        listPapers(i >= 0 && i < m_sizes.size() ? m_sizes[i] : m_initial.layout.pageSize());
    });
}

void PrinterSetupDialog::listPapers(const QPageSize& keep) {
    m_sizes = QPrinterInfo::printerInfo(m_printers->currentText()).supportedPageSizes();
    if (m_sizes.isEmpty()) {
        for (auto id : {QPageSize::A4, QPageSize::A3, QPageSize::A5, QPageSize::B4, QPageSize::B5,
                        QPageSize::Letter, QPageSize::Legal})
            m_sizes.append(QPageSize(id));
    }
    m_papers->clear();
    int chosen = 0;
    for (int i = 0; i < m_sizes.size(); ++i) {
        m_papers->addItem(m_sizes[i].name());
        if (m_sizes[i].isEquivalentTo(keep))
            chosen = i;
    }
    m_papers->setCurrentIndex(chosen);
}

PrinterSettings PrinterSetupDialog::chosen() const {
    const QString printer = m_printers->currentText();
    const PrinterSettings base =
        printer == m_initial.printer ? m_initial : PrinterSettings::ofPrinter(printer);
    const int i = m_papers->currentIndex();
    const QPageSize size = i >= 0 && i < m_sizes.size() ? m_sizes[i] : base.layout.pageSize();
    return base.withPage(size,
                         m_landscape->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait);
}

} // namespace ostrel::print
