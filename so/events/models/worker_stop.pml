/* Worker stop protocol: a model of COPOSThread (so/events/OPOSThread.{h,cpp}:
 * Start, Stop, IsRunning, WaitForStop) with both of its workers and their owner:
 * - the status monitor, CCashDrawer::MonitorStatus (so/device/StatusMonitor.cpp),
 *   started by EnableDevice (so/device/DeviceEnable.cpp), stopped there and by
 *   StopStatusMonitor (so/service/CashDrawer.h) from Close, Release and the destructor;
 * - the event dispatch thread, RunEventDispatch / DeliverQueuedEvents
 *   (so/events/EventDispatch.cpp), started by OpenService, stopped by
 *   StopEventDispatch from Close and OnFinalRelease (so/service/CashDrawer.{h,cpp}).
 * A change to any of these needs the same change here.
 *
 * Built with -DOLD it is the protocol before the stop request event became
 * manual-reset: auto-reset, never reset by Start, IsRunning() = handle valid.
 * That version must fail (a worker ends before its own stop was asked for).
 *
 * Time is nondeterminism: a timed wait may time out whenever its event is not
 * signalled. Stop's wait on the thread handle is modelled without its limit:
 * the model shows the worker always ends on the request, so the forced
 * TerminateThread path is never needed. m_evStopped is set and reset but
 * never waited on, so it is left out.
 *
 * What bounds each step a Stop waits for (Stop's limits, so/service/CashDrawer.cpp:
 * 1000 ms for the monitor, 1000 ms for the dispatch thread at Close, 2000 ms at
 * the final release; past the limit the worker is ended by force):
 * - the monitor's exchange (so/device/DrawerExchange.cpp, so/device/SerialPort.cpp):
 *   waiting for the port mutex, which nobody else holds then: Stop is never
 *   called with it held and the mutex is the object's own; writing the 4-byte
 *   request, bounded by the write time-out (1000 ms unless the site set one
 *   for the port; only a drawer holding CTS low makes it last); the answer,
 *   50 ms and then at most 5 reads of about 6 ms (the read time-outs) each
 *   followed by 50 ms, about 330 ms in all; without an answer the port is
 *   dropped, and closing it pauses 100 ms. None of these ends early on the stop
 *   request: the worst case, a write that takes its whole time-out and then no
 *   answer, is about 1.4 s, longer than the monitor's limit;
 * - in the AUTORECONNECT build, the monitor's reopen: opening the port, as long
 *   as the system takes to open a COM port;
 * - the monitor's QueueStatusUpdate: an allocation and the event queue's lock,
 *   which the dispatch thread and Close hold only to add or take records;
 * - the monitor's pause between polls (1500 ms): ends at once on the stop request;
 * - the dispatch thread's wait for work: ends at once on the stop request;
 *   its hand-over wait (EVENT_HANDOVER_LIMIT_MS, 500 ms) ends at once on it too,
 *   and PostMessage does not wait for the window;
 * - trace lines from either worker: queued to the trace log's writer thread,
 *   so a worker does no file I/O and waits only for the queue's lock.
 *
 * Checks: no invalid end state (deadlock); the assertions; ltl stopEnds
 * (every Stop returns), with weak fairness.
 */

#define MON  0
#define DISP 1
#ifndef MAXOPS
#define MAXOPS 5
#endif

bool bStop[2];      /* m_bStop */
bool evStop[2];     /* m_evStopRequest */
bool evWake[2];     /* m_evWake (auto-reset) */
bool handle[2];     /* m_hThread is valid */
bool alive[2];      /* the thread has not ended */
bool asked[2];      /* ghost: Stop has been asked of the current worker */
bool stopping;      /* ghost: the owner is inside Stop */
bool frozen;        /* m_bFrozen */

#ifdef OLD
#define IsRunning(k)       handle[k]
#define ConsumeStop(k)     evStop[k] = false
#else
#define IsRunning(k)       (handle[k] && alive[k])
#define ConsumeStop(k)     skip
#endif

proctype monitor() {
    /* if (!StopRequested()) */
    if
    :: bStop[MON] -> goto stopped
    :: else
    fi;
    do
    :: /* one exchange (bounded by the port's time-outs and the close pause, not
        * by the stop request); QueueStatusUpdate may throw bad_alloc */
       if
       :: evWake[DISP] = true
       :: skip
       :: goto thrown
       fi;
       /* WaitForStop(kPollPauseMs): ends at once on the stop request */
       if
       :: bStop[MON] -> break
       :: else ->
          if
          :: atomic { evStop[MON] -> ConsumeStop(MON) }; break
          :: !evStop[MON] ->       /* timed out */
             if
             :: bStop[MON] -> break
             :: else
             fi
          fi
       fi
    od;
stopped:
    assert(asked[MON]);   /* ran until its own stop was asked for */
thrown:
    alive[MON] = false
}

proctype dispatcher() {
    do
    :: bStop[DISP] -> break
    :: else ->
       /* WaitForMultipleObjects({wake, stop request}, INFINITE): the lowest signalled
        * index wins; the stop request ends it at once */
       atomic {
           if
           :: evWake[DISP] -> evWake[DISP] = false
           :: !evWake[DISP] && evStop[DISP] -> ConsumeStop(DISP)
           fi
       }
       if
       :: bStop[DISP] -> break
       :: else
       fi;
       if
       :: frozen
       :: !frozen ->
          /* DeliverQueuedEvents: the queue's content is left open */
          do
          :: evWake[DISP] = false; break            /* queue empty */
          :: bStop[DISP] || frozen -> break
          :: !bStop[DISP] && !frozen ->
             /* post the record (PostMessage does not wait), then wait {done, stop
              * request} with the hand-over limit, 500 ms; the stop request ends it at once */
             if
             :: skip                                 /* done, or timed out */
             :: atomic { evStop[DISP] -> ConsumeStop(DISP) }
             fi;
             if
             :: evWake[DISP] = true
             :: evWake[DISP] = false
             fi
          od
       fi
    od;
    assert(asked[DISP]);
    alive[DISP] = false
}

inline Start(k) {
#ifndef OLD
    if
    :: IsRunning(k)                      /* Start refuses */
    :: else ->
       handle[k] = false;
       bStop[k] = false;
       evStop[k] = false;
#endif
       atomic {
           assert(!alive[k]);
           handle[k] = true;
           alive[k] = true;
           asked[k] = false;
           if
           :: k == MON -> run monitor()
           :: else -> run dispatcher()
           fi
       }
#ifndef OLD
    fi
#endif
}

inline Stop(k) {
    if
    :: !handle[k]
    :: else ->
       atomic { bStop[k] = true; asked[k] = true; stopping = true };
       evStop[k] = true;
       evWake[k] = true;
       !alive[k];                         /* WaitForSingleObject(m_hThread, limit): see the bounds above */
       handle[k] = false;
       bStop[k] = false;
#ifndef OLD
       evStop[k] = false;
#endif
       stopping = false
    fi
}

/* Stop only when IsRunning(): StopStatusMonitor, StopEventDispatch, EnableDevice(false). */
inline StopIfRunning(k) {
    if
    :: IsRunning(k) -> Stop(k)
    :: else
    fi
}

/* The Control Object's thread: every Start and Stop happens here. */
active proctype owner() {
    byte ops = 0;
    bool open = false;
    do
    :: ops < MAXOPS && !open ->          /* OpenService */
       open = true; Start(DISP); ops++
    :: ops < MAXOPS && open ->           /* EnableDevice(true) */
       if
       :: !IsRunning(MON) -> Start(MON)
       :: else
       fi;
       ops++
    :: ops < MAXOPS && open ->           /* EnableDevice(false) */
       StopIfRunning(MON); ops++
    :: ops < MAXOPS && open ->           /* Close */
       StopIfRunning(MON); StopIfRunning(DISP); open = false; ops++
    :: ops < MAXOPS ->                   /* COFreezeEvents */
       if
       :: frozen = true
       :: frozen = false; evWake[DISP] = true
       fi;
       ops++
    :: ops >= MAXOPS -> break
    od;
    /* OnFinalRelease, then the destructor */
    StopIfRunning(DISP);
    StopIfRunning(MON)
}

ltl stopEnds { [] (stopping -> <> !stopping) }
