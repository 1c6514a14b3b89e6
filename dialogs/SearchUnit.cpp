#include "SearchUnit.h"

#include "DialogTexts.h"
#include "ui/Handler.h"

#include <QHeaderView>
#include <QKeyEvent>

using namespace ostrel;

namespace {

// Rows listed at a time: a search that finds many lines hands them to the
// list in turns, so that the window keeps answering meanwhile.
constexpr qsizetype kRowsPerTurn = 2000;

} // namespace

TSearchFrm::TSearchFrm(QWidget* parent, std::unique_ptr<SearchHost> host)
    : QDialog(parent), m_host(std::move(host)), m_results(new SearchResults(this)) {
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMaximizeButtonHint);
    ResultLst->setModel(m_results);
    ResultLst->setItemDelegateForColumn(SearchResults::TextColumn,
                                        new SearchResultDelegate(m_results, ResultLst));
    QHeaderView* header = ResultLst->header();
    header->setStretchLastSection(true);
    header->setSectionsMovable(false);
    header->resizeSection(SearchResults::GroupColumn, 90);
    header->resizeSection(SearchResults::RecordColumn, 130);
    header->resizeSection(SearchResults::LineColumn, 50);
    ResultLst->installEventFilter(this);

    bindHandler(FindEdt, &QLineEdit::textChanged, this, [this] { FindEdtChange(); });
    bindHandler(MatchCaseChk, &QCheckBox::clicked, this, [this] { MatchCaseChkClick(); });
    bindHandler(MatchWidthChk, &QCheckBox::clicked, this, [this] { MatchWidthChkClick(); });
    bindHandler(ResultLst, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        ResultLst->setCurrentIndex(index);
        ResultLstDblClick();
    });
    bindHandler(StopBtn, &QPushButton::clicked, this, [this] { StopBtnClick(); });
    // While a search runs its progress is shown a few times a second, also
    // when no line is found.
    m_progressTimer.setInterval(100);
    bindHandler(&m_progressTimer, &QTimer::timeout, this, [this] { takeResults(); });
}

TSearchFrm::~TSearchFrm() {
    // The searches' threads end (told to stop) before the window goes, so
    // that none tells a window that is gone.
    m_search.reset();
    m_ending.clear();
}

void TSearchFrm::Execute() {
    const bool wasVisible = isVisible();
    if (!wasVisible)
        show();
    raise();
    activateWindow();
    FindEdt->setFocus(Qt::OtherFocusReason);
    FindEdt->selectAll();
    // The records may have changed since the last search.
    if (!wasVisible && !FindEdt->text().isEmpty())
        startSearch();
}

bool TSearchFrm::searching() const {
    return m_search != nullptr;
}

bool TSearchFrm::stoppedSearchesEnded() const {
    return std::all_of(m_ending.begin(), m_ending.end(),
                       [](const auto& search) { return search->threadsEnded(); });
}

void TSearchFrm::FindEdtChange() {
    startSearch();
}

void TSearchFrm::MatchCaseChkClick() {
    startSearch();
}

void TSearchFrm::MatchWidthChkClick() {
    startSearch();
}

void TSearchFrm::ResultLstDblClick() {
    openCurrent();
}

void TSearchFrm::ResultLstKeyDown() {
    openCurrent();
}

void TSearchFrm::StopBtnClick() {
    stopSearch();
}

void TSearchFrm::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Escape && searching()) {
        runHandler([this] { StopBtnClick(); });
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Down) &&
        FindEdt->hasFocus()) {
        // From the field to the results, the first one chosen.
        if (m_results->rowCount() > 0) {
            ResultLst->setFocus(Qt::TabFocusReason);
            if (!ResultLst->currentIndex().isValid())
                ResultLst->setCurrentIndex(m_results->index(0, 0));
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TSearchFrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ResultLst && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            runHandler([this] { ResultLstKeyDown(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TSearchFrm::hideEvent(QHideEvent* event) {
    // A closed window searches no more; opened again, it searches afresh.
    if (searching())
        stopSearch();
    QDialog::hideEvent(event);
}

void TSearchFrm::startSearch() {
    if (m_search) {
        m_search->cancel();
        m_ending.push_back(std::move(m_search));
    }
    ++m_generation;
    m_waiting.clear();
    m_results->clear();
    m_progress = {};
    m_stopped = false;
    m_what = FindEdt->text();
    m_options = {MatchCaseChk->isChecked(), MatchWidthChk->isChecked()};
    if (m_what.isEmpty()) {
        m_progressTimer.stop();
        StopBtn->setEnabled(false);
        showProgress();
        return;
    }
    store::SearchRequest request;
    request.dataFolder = m_host->dataFolder();
    request.patterns = m_host->supportPatterns();
    request.what = m_what;
    request.options = m_options;
    request.edited = m_host->editedRecord();
    const quint64 generation = m_generation;
    // Told on the search's thread; taken on the window's.
    m_search = std::make_unique<store::RecordSearch>(std::move(request), [this, generation] {
        QMetaObject::invokeMethod(
            this, [this, generation] { runHandler([&] { searchReady(generation); }); },
            Qt::QueuedConnection);
    });
    StopBtn->setEnabled(true);
    m_progressTimer.start();
    showProgress();
}

void TSearchFrm::stopSearch() {
    if (!m_search)
        return;
    m_search->cancel();
    m_ending.push_back(std::move(m_search));
    m_waiting.clear();
    m_stopped = true;
    m_progressTimer.stop();
    StopBtn->setEnabled(false);
    showProgress();
}

void TSearchFrm::searchReady(quint64 generation) {
    endSearches();
    if (generation == m_generation && m_search)
        takeResults();
}

void TSearchFrm::endSearches() {
    std::erase_if(m_ending, [](const auto& search) { return search->threadsEnded(); });
}

void TSearchFrm::takeResults() {
    if (!m_search)
        return;
    std::vector<store::FoundRecord> found = m_search->take(&m_progress);
    if (m_waiting.empty())
        m_waiting = std::move(found);
    else
        std::move(found.begin(), found.end(), std::back_inserter(m_waiting));
    m_results->append(m_waiting, kRowsPerTurn);
    if (!m_waiting.empty()) {
        // The rest at the next turn of the event loop.
        const quint64 generation = m_generation;
        QMetaObject::invokeMethod(
            this, [this, generation] { runHandler([&] { searchReady(generation); }); },
            Qt::QueuedConnection);
    } else if (m_progress.finished) {
        m_search.reset(); // its threads have ended
        m_progressTimer.stop();
        StopBtn->setEnabled(false);
    }
    showProgress();
}

void TSearchFrm::showProgress() {
    if (m_what.isEmpty()) {
        ProgressLbl->clear();
        return;
    }
    const store::RecordSearch::Progress& p = m_progress;
    const QString found =
        m_results->lineCount() > 0
            ? texts::dialogs::foundIn().arg(m_results->recordCount()).arg(m_results->lineCount())
            : QString();
    QString text;
    if (m_stopped) {
        text = texts::dialogs::searchStopped().arg(p.searched).arg(p.records);
    } else if (m_search) {
        text = p.listed ? texts::dialogs::searchingOfListed().arg(p.searched).arg(p.records)
                        : texts::dialogs::searching().arg(p.searched);
    } else if (p.truncated) {
        text = texts::dialogs::searchTruncated().arg(m_results->lineCount());
    } else if (m_results->lineCount() == 0) {
        text = texts::dialogs::nothingFound().arg(p.searched);
    } else {
        text = texts::dialogs::found().arg(found).arg(p.searched);
    }
    if (m_results->failedCount() > 0)
        text += texts::dialogs::unreadableRecords().arg(m_results->failedCount());
    ProgressLbl->setText(text);
}

void TSearchFrm::openCurrent() {
    const QModelIndex index = ResultLst->currentIndex();
    if (!index.isValid())
        return;
    const SearchResults::Row& row = m_results->row(index.row());
    const SearchResults::Record& record = m_results->recordOf(row);
    // A record that could not be read is opened all the same: the loader
    // tells why it cannot.
    m_host->showFound(record.group, record.name, std::max<qint64>(row.match.position, 0),
                      row.match.line < 0 ? 0 : row.match.length, m_what, m_options);
}
