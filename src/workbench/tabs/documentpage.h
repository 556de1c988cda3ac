#pragma once

#include "workbench/core/doctab.h"

#include <QWidget>

#include <functional>
#include <utility>

namespace velmora {

// A tab's page: it holds the tab's state and is the native parent of the office window, which follows its size
// and gets the keyboard when the page is clicked.
class DocumentPage final : public QWidget {
public:
    DocumentPage(DocTab tab, QWidget* parent) : QWidget(parent), tab(std::move(tab)) {
        setAttribute(Qt::WA_NativeWindow);
        setFocusPolicy(Qt::StrongFocus);
    }

    DocTab tab;
    std::function<void()> resized;
    std::function<void()> clicked;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (resized) {
            resized();
        }
    }
    void mousePressEvent(QMouseEvent* event) override {
        QWidget::mousePressEvent(event);
        if (clicked) {
            clicked();
        }
    }
    void focusInEvent(QFocusEvent* event) override {
        QWidget::focusInEvent(event);
        if (clicked) {
            clicked();
        }
    }
};

} // namespace velmora
