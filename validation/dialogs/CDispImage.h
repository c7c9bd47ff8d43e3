// CDispImage: the last captured image in a window of its own, stretched to
// the whole window, which is closed by its close box. Data that holds no
// readable image leaves the window empty, without a message.
#pragma once

#include <QDialog>

class CPictureBox;

class CDispImage : public QDialog {
    Q_OBJECT
public:
    explicit CDispImage(QWidget* parent = nullptr);

    // Decodes `stream` (BMP, JPEG, TIFF ...) into the picture box; the caller
    // keeps the data.
    void ShowImage(const QByteArray& stream);

    CPictureBox* pictureBox() const { return m_picture; }

private:
    CPictureBox* m_picture = nullptr;
};
