#ifndef PORTREPORT_H
#define PORTREPORT_H

#include <QString>

// What became of one port in a scan: the answer to "why is my sensor not listed".
struct PortReport
{
    enum Outcome {
        Sensor,            // a device was created; detail is its name
        NoAnswer,          // nothing came back to "ID"
        NotASensor,        // an answer, but not one of a sensor this program knows
        NotInCatalogue,    // a sensor, but the catalogue has no entry for it; detail gives its ID and firmware
        Bootloader,        // a sensor waiting in its bootloader
        PermissionDenied,  // the port could not be opened: no access to the device file
        Busy,              // the port could not be opened: another program holds it
        CannotOpen,        // the port could not be opened for another reason; detail is the system's
    };

    QString port;
    Outcome outcome = NoAnswer;
    QString detail;
    // The port went away after it was searched (unplugged); its line and device stay until the next scan.
    bool gone = false;

    bool portUnusable() const { return outcome == PermissionDenied || outcome == Busy || outcome == CannotOpen; }
    // "pts/3: no answer", as the selection page and the command line show it; "pts/3: no answer
    // (port gone)" once the port has gone.
    QString text() const;
};

#endif
