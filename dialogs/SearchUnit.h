#pragma once

#include "SearchHost.h"
#include "SearchResults.h"
#include "store/RecordSearch.h"
#include "ui_SearchFrm.h"

#include <QDialog>
#include <QTimer>
#include <memory>
#include <vector>

// The search through every record of every group: not modal, one per main
// window. Each change of the field or of an option stops the running search
// and starts the next; its results stream in as they are found, in the order
// of the groups and of their records. Esc stops a running search (and closes
// the window when none runs); Enter or a double click on a result shows the
// record at that line with the match selected.
class TSearchFrm : public QDialog, public Ui::TSearchFrm {
    Q_OBJECT

public:
    TSearchFrm(QWidget* parent, std::unique_ptr<ostrel::SearchHost> host);
    ~TSearchFrm() override;

    // Opens the window, or brings it to the front, with the field ready for
    // typing; a text already in it is searched again.
    void Execute();

    // Whether a search is running.
    bool searching() const;
    // Whether the threads of every search stopped so far have ended (after
    // which none can tell the window anything more).
    bool stoppedSearchesEnded() const;

public slots:
    void FindEdtChange();
    void MatchCaseChkClick();
    void MatchWidthChkClick();
    void ResultLstDblClick();
    void ResultLstKeyDown();
    void StopBtnClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startSearch();
    void stopSearch();
    // Results or the end of a search wait (told from the search's thread).
    void searchReady(quint64 generation);
    void takeResults();
    void showProgress();
    void openCurrent();
    void endSearches();

    std::unique_ptr<ostrel::SearchHost> m_host;
    ostrel::SearchResults* m_results;
    std::unique_ptr<ostrel::store::RecordSearch> m_search;
    // Stopped searches whose threads are still ending.
    std::vector<std::unique_ptr<ostrel::store::RecordSearch>> m_ending;
    quint64 m_generation = 0;
    QString m_what; // what the shown results were searched for
    ostrel::MatchOptions m_options;
    std::vector<ostrel::store::FoundRecord> m_waiting; // taken, not yet listed
    ostrel::store::RecordSearch::Progress m_progress;
    bool m_stopped = false;
    QTimer m_progressTimer;
};
