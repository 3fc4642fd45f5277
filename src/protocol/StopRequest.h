#pragma once

namespace vlboot {

// A request to stop the run in progress, made by Exit in the window or by a
// stop signal of the command-line tool. The reply wait looks at it in every
// pass and ends at once; the run then ends quietly, and every object closes
// and releases what it holds on the way out.
//
// A step that must not be cut short (the fixture's serial-number step: the
// number is stored, then written into the fixture) holds a Shield while it
// runs; the request takes effect once the step is over.
class StopRequest {
public:
    void Request() { requested_ = true; }
    bool Requested() const { return requested_; }
    // The request is made and no shield holds it off.
    bool Effective() const { return requested_ && shields_ == 0; }
    bool Shielded() const { return shields_ > 0; }

    class Shield {
    public:
        explicit Shield(StopRequest& stop) : stop_(stop) { ++stop_.shields_; }
        ~Shield() { --stop_.shields_; }
        Shield(const Shield&) = delete;
        Shield& operator=(const Shield&) = delete;

    private:
        StopRequest& stop_;
    };

private:
    bool requested_ = false;
    int shields_ = 0;
};

} // namespace vlboot
