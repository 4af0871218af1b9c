/* Worker stop protocol: a model of COPOSThread (so/events/OPOSThread.{h,cpp}: Start, Stop with its
 * time limit and its forced end, IsRunning, WaitForStop, StopWorker) with both of its workers and
 * their owner:
 * - the status monitor, CStatusMonitor::Run (so/device/StatusMonitor.{h,cpp}), with its exchange
 *   (CDrawerLink::QueryDrawerState, so/device/DrawerLink.cpp), its reopen (CDrawerLink::Reconnect,
 *   which waits for a CPortOpener, so/device/PortOpener.{h,cpp}) and its reports
 *   (ReportPower, QueueStatusUpdate); started by EnableDevice (so/service/DrawerEntryPoints.cpp),
 *   stopped by CStatusMonitor::Stop from EnableDevice, Close and Release
 *   (so/service/CashDrawer.cpp) and from its destructor;
 * - the event dispatch thread, RunEventDispatch / DeliverQueuedEvents
 *   (so/events/EventDispatch.cpp), started by OpenService, stopped by StopEventDispatch from Close
 *   and OnFinalRelease (so/service/CashDrawer.cpp).
 * A change to any of these needs the same change here.
 *
 * Time. A stop waits for the thread's end up to its limit, then ends it by force
 * (TerminateThread). The limit is a countdown of ticks of 500 ms that starts with the request;
 * only the steps a worker takes under a lock that last (the monitor's exchange, the old reopen)
 * spend ticks, and only while a stop of that worker counts down. Every other step is taken as
 * lasting no time: the waits that end at once on the stop request (the monitor's pause, its wait
 * for the opener, the dispatch thread's waits), and the few instructions under the event queue's
 * lock or the power lock (an allocation, a list operation; trace lines are only queued).
 * The bounds (so/device/SerialPort.{h,cpp}, so/device/StatusMonitor.cpp, so/service/CashDrawer.cpp):
 * - an exchange holds the port mutex at most for the port's write limit (a site's is kept only up
 *   to kMaxWriteLimitMs, 5000 ms; 1000 ms when it had none) and 500 ms for the purge, the reply's
 *   pause and reads and the closing pause (kExchangeRestMs): EXCHANGE ticks. Nobody else holds
 *   the mutex while a stop waits: the owner calls Stop and never holds it then, and an opener
 *   never takes it;
 * - the monitor's stop limit is 1000 ms + kMaxExchangeBoundMs, the bound of any port whatever its
 *   time-outs (a reopen may take over a port with other time-outs after Stop began): SLACK +
 *   EXCHANGE ticks; after the request the monitor makes at most the one exchange under way, or one
 *   begun just before it looked at the request;
 * - the dispatch thread's limits are 1000 ms at Close and 2000 ms at the final release; none of its
 *   steps lasts, so its countdown never moves.
 * Built with -DOLD_REOPEN the monitor reopens as it did before CPortOpener: CreateFileW under the
 * port mutex, as long as the system takes to open a COM port (many seconds for a virtual port
 * whose peer is gone), unbounded here. That version must fail: the stop reaches its limit and ends
 * the monitor while it holds the port mutex.
 *
 * Built with -DOLD it is the protocol before the stop request event became manual-reset:
 * auto-reset, never reset by Start, IsRunning() = handle valid. That version must fail (a worker
 * ends before its own stop was asked for).
 *
 * Left out: m_evStopped, set and reset but never waited on; what the exchange, the reports and the
 * opener do to the port and the properties (so/device/models/drawer_link.pml); the opener thread
 * itself, which nobody stops (it finishes alone and closes what it opened). Whether a cycle begins
 * with a reopen (AutoReconnect and a dropped port) is left open.
 *
 * Checks: no invalid end state (deadlock); the assertions: a worker ends only once its own stop was
 * asked for, and no forced end happens while the worker holds a lock (holds); ltl stopEnds (every
 * Stop returns), with weak fairness.
 */

#define MON  0
#define DISP 1
#ifndef MAXOPS
#define MAXOPS 5
#endif

/* ticks of 500 ms */
#define EXCHANGE   11               /* kMaxExchangeBoundMs: 5000 + the rest of an exchange, 500 */
#define SLACK      2                /* kStopLimitMs, 1000 */
#define MON_LIMIT  (SLACK + EXCHANGE)
#define DISP_LIMIT 2                /* kDispatchStopLimitMs, 1000 */
#define FINAL_DISP_LIMIT 4          /* kFinalDispatchStopLimitMs, 2000 */

bool bStop[2];      /* m_bStop */
bool evStop[2];     /* m_evStopRequest */
bool evWake[2];     /* m_evWake (auto-reset) */
bool handle[2];     /* m_hThread is valid */
bool alive[2];      /* the thread has not ended */
bool asked[2];      /* ghost: Stop has been asked of the current worker */
bool stopping;      /* ghost: the owner is inside Stop */
bool frozen;        /* m_bFrozen */
byte holds[2];      /* ghost: the locks the worker holds */
bool killed[2];     /* ghost: ended by force, and not yet out of its code */
byte timing;        /* the worker whose stop counts down, + 1; 0: none */
byte left;          /* ticks left before its stop ends it by force */

#ifdef OLD
#define IsRunning(k)       handle[k]
#define ConsumeStop(k)     evStop[k] = false
#else
#define IsRunning(k)       (handle[k] && alive[k])
#define ConsumeStop(k)     skip
#endif

/* A step under a lock that lasts up to `bound` ticks (once a stop of this worker counts down). */
inline Lasting(k, bound) {
    t = 0;
    do
    :: atomic { t < bound && timing == k + 1 && left > 0 -> t++; left-- }
    :: break
    od;
    t = 0
}

proctype monitor() {
    byte t;
    {
        /* if (!StopRequested()) */
        if
        :: bStop[MON] -> goto stopped
        :: else
        fi;
        do
        :: if
           :: skip                          /* no reopen this cycle */
           :: /* a dropped port and AutoReconnect */
#ifdef OLD_REOPEN
              holds[MON]++;                 /* the port mutex, around CreateFileW: no bound */
              do
              :: atomic { timing == MON + 1 && left > 0 -> left-- }
              :: break
              od;
              holds[MON]--
#else
              /* Reconnect: a look at the flag under the port mutex, then the wait for the opener
               * or the stop request; a port it opened is taken under the mutex */
              if
              :: skip                       /* Done: the opener finished, in whatever time */
              :: atomic { evStop[MON] -> ConsumeStop(MON) }  /* stopped while the port was opening */
              fi;
              if
              :: bStop[MON] -> break        /* if (m_thread.StopRequested()) break */
              :: else
              fi
#endif
           fi;
           /* QueryDrawerState: the port mutex, for at most EXCHANGE ticks; not ended by the request */
           holds[MON]++;
           Lasting(MON, EXCHANGE);
           holds[MON]--;
           /* ReportPower and QueueStatusUpdate: the power lock and the queue's lock, for a few
            * instructions; the allocation may throw bad_alloc (the locks let go as it unwinds) */
           holds[MON]++;
           if
           :: evWake[DISP] = true; holds[MON]--
           :: holds[MON]--
           :: holds[MON]--; goto thrown
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
    } unless {
        /* TerminateThread: the thread runs none of its code again */
        killed[MON] -> killed[MON] = false
    }
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
       !killed[k];                       /* a thread ended by force is out of its code */
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

inline Stop(k, limit) {
    if
    :: !handle[k]
    :: else ->
       atomic { bStop[k] = true; asked[k] = true; stopping = true; timing = k + 1; left = limit };
       evStop[k] = true;
       evWake[k] = true;
       /* WaitForSingleObject(m_hThread, limit) */
       if
       :: !alive[k]
       :: atomic {
              left == 0 && alive[k] ->   /* the limit passed: TerminateThread, then the wait for it */
              assert(!holds[k]);         /* a lock held now would never be let go */
              killed[k] = true;
              alive[k] = false
          }
       fi;
       atomic { timing = 0; left = 0 };
       handle[k] = false;
       bStop[k] = false;
#ifndef OLD
       evStop[k] = false;
#endif
       stopping = false
    fi
}

/* Stop only when IsRunning(): StopWorker. */
inline StopIfRunning(k, limit) {
    if
    :: IsRunning(k) -> Stop(k, limit)
    :: else
    fi
}

/* The application's thread: every Start and Stop happens here. */
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
       StopIfRunning(MON, MON_LIMIT); ops++
    :: ops < MAXOPS && open ->           /* Close */
       StopIfRunning(MON, MON_LIMIT); StopIfRunning(DISP, DISP_LIMIT); open = false; ops++
    :: ops < MAXOPS ->                   /* COFreezeEvents */
       if
       :: frozen = true
       :: frozen = false; evWake[DISP] = true
       fi;
       ops++
    :: ops >= MAXOPS -> break
    od;
    /* OnFinalRelease, then the destructor */
    StopIfRunning(DISP, FINAL_DISP_LIMIT);
    StopIfRunning(MON, MON_LIMIT)
}

ltl stopEnds { [] (stopping -> <> !stopping) }
