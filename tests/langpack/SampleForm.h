// A two-level window hierarchy on TKVForm for the package tests: TfrmLangBase -> TfrmLangSample.
#pragma once

#include "SampleWidgets.h"
#include "lang/KVForm.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class TfrmLangBase : public TKVForm {
    Q_OBJECT
public:
    explicit TfrmLangBase(QWidget* parent = nullptr);
};

class TfrmLangSample : public TfrmLangBase {
    Q_OBJECT
public:
    explicit TfrmLangSample(QWidget* parent = nullptr);

    QLabel* lblTitle;
    TTestFontLabel* lblName;
    QLineEdit* edName;
    QLabel* lblMode;
    TTestComboBox* cboMode;
    QGroupBox* gbOptions;
    QCheckBox* chkAll;
    TTestGrid* gdMain;
    TTestGlyphButton* btnFind;
    TTestGlyphButton* btnClear; // disabled: shows the disabled image
    QPushButton* btnOK;
    QPushButton* btnCancel;
    TTestStatusBar* stbMain;
};
