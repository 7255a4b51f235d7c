#pragma once

#include <QList>
#include <QString>

// Replaces files of one folder together, by renames only: each file moves aside to its
// kept name, and its staged successor takes its place. When a rename fails, the ones
// already done are undone in reverse order, so the folder is as before, and the error
// is thrown (std::runtime_error).
class FileSwap
{
public:
    // The file at path, when there is one, moves to keptPath, and stagedPath takes its
    // place; an empty stagedPath only moves the file aside. Steps run in the order added.
    void add(const QString& path, const QString& stagedPath, const QString& keptPath);
    void commit();

private:
    struct Step
    {
        QString path;
        QString stagedPath;
        QString keptPath;
    };
    struct Rename
    {
        QString from;
        QString to;
    };

    void undo(const QList<Rename>& done);

    QList<Step> steps;
};
