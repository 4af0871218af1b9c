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
    :: /* one exchange; QueueStatusUpdate may throw bad_alloc */
       if
       :: evWake[DISP] = true
       :: skip
       :: goto thrown
       fi;
       /* WaitForStop(kPollPauseMs) */
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
       /* WaitForMultipleObjects({wake, stop request}, INFINITE): the lowest signalled index wins */
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
             /* post the record, then wait {done, stop request} with the hand-over limit */
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
       !alive[k];                         /* WaitForSingleObject(m_hThread) */
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
