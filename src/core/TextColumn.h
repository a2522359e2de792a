#pragma once

#include <QString>
#include <QStringView>
#include <QVector>

/// Texts by index, kept end to end in one buffer: a million short chapter titles cost their
/// characters and twelve bytes each, not a string object and a heap block each.
class TextColumn {
public:
    qsizetype size() const { return m_start.size(); }
    bool isEmpty() const { return m_start.isEmpty(); }
    QStringView view(qsizetype i) const { return QStringView(m_pool).mid(m_start.at(i), m_length.at(i)); }
    QString at(qsizetype i) const { return view(i).toString(); }
    QString value(qsizetype i) const { return i >= 0 && i < size() ? at(i) : QString(); }

    /// Takes exactly n texts: new ones are empty, dropped ones give back their room when
    /// nothing after them is kept.
    void resize(qsizetype n);
    void set(qsizetype i, QStringView text);
    /// Puts a text in at index i; the texts from there on move up by one.
    void insert(qsizetype i, QStringView text);
    /// Takes the text at index i out; the texts after it move down by one.
    void remove(qsizetype i);
    /// Gives back the buffers' spare room once the column has stopped growing.
    void squeeze();

private:
    QString m_pool;
    QVector<qsizetype> m_start;
    QVector<quint32> m_length;
};
