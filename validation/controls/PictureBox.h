// CPictureBox: shows an image file (BMP, JPEG, TIFF, PNG ...) on the
// button face, at the top-left (mode 0), centred (1, the start) or
// stretched to the control (2).
#pragma once

#include "PictureLayout.h"

#include <QImage>
#include <QWidget>

class CPictureBox : public QWidget {
    Q_OBJECT
public:
    explicit CPictureBox(QWidget* parent = nullptr);

    // Disposes of the current image and loads the file; false when it
    // cannot be read (nothing is drawn then). The path's bytes are taken as
    // they are (ISO-8859-1).
    bool Load(const std::string& path);
    bool LoadFromStream(const QByteArray& bytes);
    bool HasImage() const { return !m_image.isNull(); }

    void SetMode(int mode);
    int Mode() const { return m_mode; }
    // Where the image is drawn now.
    PictureRect ImageRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void loaded(bool ok);
    QImage m_image;
    int m_mode = kPictureCentred;
};
