#pragma once

// The preview of a report: its pages one under the other, painted only while they show, so
// that a report of thousands of pages opens as fast as one of a single page. From it the user
// turns pages, zooms and prints.

#include <QDialog>

#include <functional>

class QLabel;
class QSpinBox;

namespace kr {

class ReportRenderer;
class ReportPageView;

class ReportPreview : public QDialog {
    Q_OBJECT
public:
    // `renderer` is paginated for the printer the pages are shown for; `print` prints them
    // (asking where) and answers whether they went, which closes the preview.
    ReportPreview(const ReportRenderer& renderer, const QString& title, std::function<bool()> print,
                  QWidget* parent = nullptr);

    int pageCount() const;
    int currentPage() const; // from 1
    void goToPage(int page); // from 1
    void fitWidth();
    void fitPage();
    void zoomBy(double factor);
    // How many page images were painted since the preview opened.
    int pagesPainted() const;

private:
    void showPage(int page);

    ReportPageView* view_;
    QSpinBox* page_;
    QLabel* of_;
    std::function<bool()> print_;
};

} // namespace kr
