/* Event delivery: a model of the event queue, the dispatch thread's hand-over
 * to the event window and the window's side of it:
 * - CEventInterface::RunEventDispatch, DeliverQueuedEvents (so/events/EventDispatch.cpp);
 * - QueueStatusUpdate, HandleCommand, FireEvent, FireHeld, Thaw,
 *   ReleasePendingMessages, DiscardQueuedEvents and the destructor
 *   (so/events/EventInterface.{h,cpp}); record holders (so/events/OPOSEvent.{h,cpp});
 *   RemoveAll (so/events/ObjectCollection.cpp);
 * - OpenService, Close, OnFinalRelease and COFreezeEvents (so/service/CashDrawer.{h,cpp}),
 *   with COPOSThread's Start and Stop as so/events/models/worker_stop.pml checks them.
 * A change to any of these needs the same change here.
 *
 * Each session (OpenService to Close) has its own status monitor, which
 * queues NREC records in order: session s has records (s-1)*NREC+1..s*NREC.
 * The dispatch thread may fail to start; a thread that ended early leaves
 * the same behind (a queue nobody serves), so that is not modelled apart.
 * With -DSESSIONS=2 the owner may open the object again after Close (the
 * check runs it with NREC=2 and MAXOPS=2, to stay small). The
 * application's thread (owner) pumps the window's messages and makes the
 * calls an application makes, also from inside an event handler (not
 * OpenService there). The frozen flag lives as long as the object. A record
 * that reaches the window while frozen, or while older ones are held, is held
 * by the window with its message's holder until a thaw fires it. The queue's
 * lock is modelled by atomic steps. A timed wait may time out whenever nothing
 * it waits on is signalled. Not modelled: a handler that pumps messages itself.
 *
 * Built with -DOLD it is the window and Close before records were held: a
 * record that reaches the window fires, frozen or not, and Close leaves the
 * queue to the dispatch thread's end. That version must fail.
 *
 * Checks: no invalid end state; a record is never used or released once freed;
 * fired at most once, in queue order, never while frozen, never once Close has
 * begun and never in a later session than its own; every record is freed in
 * the end; whenever the whole system is idle and delivery is not frozen, no
 * record is held, none waits in the window's message queue and none waits in
 * the event queue unless this session's dispatch thread never started.
 */

#ifndef NREC
#define NREC 3
#endif
#ifndef MAXOPS
#define MAXOPS 3                   /* 3: a handler of a held record may freeze after a freeze and a thaw */
#endif
#ifndef SESSIONS
#define SESSIONS 1
#endif

#define NR (NREC * SESSIONS)                /* records over all sessions */
#define SessionOf(r) ((r - 1) / NREC + 1)
#define THAW 0                              /* EVENT_THAW_COMMAND_ID's message; records are 1..NR */

chan q = [NR] of { byte };         /* m_events, head first */
chan msgs = [NR + MAXOPS] of { byte }; /* the window's posted WM_COMMAND messages: records and thaws */
chan held = [NR] of { byte };      /* m_held, front first */

bool bStop, evStop, evWake;        /* the dispatch thread's COPOSThread */
bool alive;                        /* the dispatch thread has not ended */
bool frozen;                       /* m_bFrozen */
bool monStop, monEnded;            /* the status monitor's stop, reduced to what Close needs */
bool closed;                       /* Close has begun */
byte session;                      /* ghost: OpenService calls so far */
bool started;                      /* ghost: this session's dispatch thread started */

byte holders[NR + 1];
bool freed[NR + 1];
bool done[NR + 1];                 /* m_evDone (auto-reset) */
byte lastFired;                    /* ghost: the last record fired */

inline Use(r) { assert(r >= 1 && r <= NR && !freed[r]) }

inline Release(r) {
    d_step {
        Use(r);
        holders[r]--;
        if
        :: holders[r] == 0 -> freed[r] = true
        :: else
        fi
    }
}

/* The status monitor's QueueStatusUpdate calls in session s. */
proctype monitor(byte s) {
    byte n = (s - 1) * NREC + 1;
    do
    :: n <= s * NREC && !monStop ->
       holders[n] = 1;
       done[n] = false;
       atomic { q!n };
       evWake = true;
       n++
    :: monStop -> break
    :: n > s * NREC -> break
    od;
    monEnded = true
}

proctype dispatcher() {
    byte r;
    bool more;
    do
    :: bStop -> break
    :: else ->
       /* WaitForMultipleObjects({wake, stop request}, INFINITE); the stop request is manual-reset */
       atomic {
           if
           :: evWake -> evWake = false
           :: !evWake && evStop
           fi
       }
       if
       :: bStop -> break
       :: else
       fi;
       if
       :: frozen
       :: else ->
          /* DeliverQueuedEvents */
          do
          :: atomic {
                 if
                 :: empty(q) -> evWake = false; more = false
                 :: nempty(q) && (bStop || frozen) -> more = false
                 :: nempty(q) && !bStop && !frozen -> q?r; more = true
                 fi
             };
             if
             :: !more -> break
             :: else
             fi;
             Use(r);
             done[r] = false;
             holders[r]++;
             msgs!r;                                /* PostMessage */
             /* the hand-over: {m_evDone, stop request} with EVENT_HANDOVER_LIMIT_MS */
             if
             :: atomic { done[r] -> done[r] = false }
             :: evStop
             :: atomic { !done[r] && !evStop }      /* timed out: the record is given up */
             fi;
             Release(r);
             atomic {
                 if
                 :: nempty(q) -> evWake = true
                 :: empty(q) -> evWake = false
                 fi
             }
          od
       fi
    od;
    atomic {                                         /* RemoveAll under the lock */
        do
        :: q?r -> Release(r)
        :: empty(q) -> break
        od
    };
    alive = false
}

/* COPOSThread::Stop as StopEventDispatch calls it. */
inline StopDispatch() {
    if
    :: alive ->
       bStop = true;
       evStop = true;
       evWake = true;
       !alive;
       bStop = false;
       evStop = false
    :: else
    fi
}

/* OpenService: the window is made once and kept; the dispatch thread's
 * Start (which may fail) begins with a fresh stop request; EnableDevice
 * starts the session's monitor. */
inline OpenService() {
    session++;
    closed = false;
    monStop = false;
    monEnded = false;
    if
    :: atomic { assert(!alive); started = true; alive = true; run dispatcher() }
    :: started = false                               /* the thread did not start */
    fi;
    run monitor(session)
}

/* ReleasePendingMessages: the held records, then the posted messages. */
inline ReleasePending() {
    do
    :: held?m -> Release(m)
    :: empty(held) -> break
    od;
    do
    :: msgs?m ->
       if
       :: m != THAW -> Release(m)
       :: else
       fi
    :: empty(msgs) -> break
    od
}

inline Close() {
    closed = true;
    monStop = true;                                  /* StopStatusMonitor */
    monEnded;
    StopDispatch();
    ReleasePending();
#ifndef OLD
    atomic {                                         /* DiscardQueuedEvents: RemoveAll under the lock */
        do
        :: q?m -> Release(m)
        :: empty(q) -> break
        od
    }
#endif
}

/* COFreezeEvents; Thaw posts its message before it wakes the dispatch thread. */
inline Freeze() {
    if
    :: frozen = true
    :: frozen = false;
       if
       :: nempty(held) -> msgs!THAW
       :: empty(held)
       fi;
       evWake = true
    fi
}

/* FireEvent and the application's handler. The service object holds a
 * reference on itself across it, so a final release made inside the handler
 * happens after it, as at the end of owner(). */
inline Fire(r) {
    Use(r);
    assert(!frozen);
    assert(!closed);
    assert(SessionOf(r) == session);
    assert(r > lastFired);
    lastFired = r;
    if
    :: skip                                          /* Invoke fails: done is not signalled, the hand-over times out */
    :: /* Invoke succeeds; the handler may call back */
       if
       :: ops < MAXOPS -> ops++; Freeze()
       :: ops < MAXOPS && !closed -> ops++; Close()
       :: skip
       fi;
       Use(r);
       done[r] = true
    fi
}

/* HandleCommand for a record: held while frozen or behind held ones (with
 * its message's holder), else fired, then the message's holder is let go. */
inline Handle(r) {
    Use(r);
#ifdef OLD
    Fire(r); Release(r)
#else
    if
    :: frozen || nempty(held) -> held!r
    :: !frozen && empty(held) -> Fire(r); Release(r)
    fi
#endif
}

/* HandleCommand for a thaw: FireHeld. A Close in a handler empties the list. */
inline FireHeld() {
    do
    :: nempty(held) && !frozen -> held?r; Fire(r); Release(r)
    :: empty(held) || frozen -> break
    od
}

/* The application's thread: it also owns the event window. */
active proctype owner() {
    byte r, ops;
    byte m;                                          /* Close's own: inlines share locals */
    OpenService();
    do
    :: msgs?r ->
       if
       :: r == THAW -> FireHeld()
       :: else -> Handle(r)
       fi
    :: ops < MAXOPS -> ops++; Freeze()
    :: ops < MAXOPS && !closed -> ops++; Close()
    :: closed && session < SESSIONS -> OpenService()
    :: timeout ->
       /* nothing can move: delivery must be held back, or finished */
       assert(frozen || closed ||
              (empty(msgs) && empty(held) && (empty(q) || !started)));
       break
    od;
    /* OnFinalRelease; ~CCashDrawer stops the monitor; then its members go */
    StopDispatch();
    monStop = true;
    monEnded;
    ReleasePending();                                /* ~CEventInterface */
    do
    :: q?r -> Release(r)                             /* ~CObjectCollection */
    :: empty(q) -> break
    od;
    r = 1;
    do                                               /* a record made is freed with its last holder */
    :: r <= NR -> assert(holders[r] == 0); r++
    :: r > NR -> break
    od
}
