#pragma once
#include <QDate>
#include <QString>
#include <QVector>

namespace varid {

// One period of one kind whose rows on the main database are about to be deleted and sent
// again: the step that replaces them, the branch and the period.
struct Replacement {
    QString step;   // Rec_GL_Book
    QString branch; // KTO_KOD
    QDate from, to;
    bool operator==(const Replacement& o) const
    {
        return step == o.step && branch == o.branch && from == o.from && to == o.to;
    }
};

// A small file in the home folder that remembers a period replacement between the deletion
// on the main database and the end of its re-send. It is written and synced before the
// deletion and loses the entry only when the kind's re-send of the period has completed, so
// a kill, a power cut, a break-off or a stop in between is followed by the next run sending
// that period again first. It lives outside the branch's database, whose schema belongs to
// the branch's accounting program.
class ReplaceJournal {
public:
    explicit ReplaceJournal(const QString& path = {}) : path_(path) {}
    bool enabled() const { return !path_.isEmpty(); }
    QString path() const { return path_; }

    // What the file holds; an unreadable line is skipped.
    QVector<Replacement> entries() const;
    // Adds the entry (once) and syncs the file; throws DbError (the database cannot be
    // written now) when it cannot, so that nothing is deleted unremembered.
    void record(const Replacement& r);
    // Removes the entry if it is there. A failure leaves it: the period is sent once more.
    void clear(const Replacement& r);

    static QString line(const Replacement& r);
    static bool parse(const QString& line, Replacement& r);

private:
    void write(const QVector<Replacement>& entries);

    QString path_;
};

} // namespace varid
