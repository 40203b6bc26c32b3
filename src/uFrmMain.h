// The control window: schedule table, transport, options.
#pragma once

#include <QWidget>

class TFrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TFrmMain(QWidget* parent = nullptr);
    ~TFrmMain() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
};
