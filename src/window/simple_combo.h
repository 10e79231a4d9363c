#pragma once
// A "simple" combo box: an edit field with its list below it. The window gives these boxes no
// room for the list, so only the edit field shows; the list is kept for what the box offers.

#include <QLineEdit>
#include <QStringList>

namespace korvane {

class SimpleCombo : public QLineEdit {
    Q_OBJECT
public:
    explicit SimpleCombo(QWidget *parent = nullptr) : QLineEdit(parent) {}
    const QStringList &list() const { return m_list; }
    void setList(const QStringList &entries) { m_list = entries; }

private:
    QStringList m_list;
};

} // namespace korvane
