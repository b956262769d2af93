#pragma once

#include <QDialog>

class DialogHeader;

// The customer-service dialog of mode "3": the official account's QR picture to follow.
// Frameless, shown without a parent, deletes itself when closed.
class ContactUS : public QDialog
{
    Q_OBJECT
public:
    explicit ContactUS(QWidget *parent = nullptr);

public slots:
    void onClose();

private:
    DialogHeader *header;
};
