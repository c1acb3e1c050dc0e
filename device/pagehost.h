#ifndef PAGEHOST_H
#define PAGEHOST_H

class AbstractDevice;

// What a sensor's page needs of the window that shows it, and no more: the pages then know their
// host, not the window, and a test or a tool can host a page of its own.
class PageHost
{
public:
    virtual ~PageHost() = default;
    // The device chosen on the list, which a page opened now is for.
    virtual AbstractDevice *activeDevice() const = 0;
    // The way back to the list, shown or hidden (a page hides it while its sensor loads).
    virtual void setNavigationVisible(bool on) = 0;
};

#endif
