// OP_Station: the panel's one window. A fixed client area of 378 x 531
// logical pixels on a white background, carrying Picture1 (and with it the
// whole face) and, hidden under it, the hot spot threeKey.
#pragma once

#include <QWidget>

class QLineEdit;
class Picture1;

class OP_Station final : public QWidget {
    Q_OBJECT

public:
    explicit OP_Station(QWidget *parent = nullptr);

    Picture1 *picture1() const { return picture1_; }
    QLineEdit *text1() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Picture1 *picture1_;
};
