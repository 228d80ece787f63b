#pragma once

class QComboBox;
class QWidget;

// The list chooser "Combo1" of the list windows: the sixteen lists as
// "list n - name", starting on the current list; picking an entry makes it
// the current list.
QComboBox* makeListChooser(QWidget* parent);
