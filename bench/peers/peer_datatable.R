# data.table peer. usage: Rscript peer_datatable.R N_LABEL REPS THREADS [workloads]
# 1 untimed warm-up + REPS timed runs; elapsed wall time of the aggregation only.
suppressMessages(library(data.table))
a <- commandArgs(TRUE); lab <- a[1]; reps <- as.integer(a[2]); thr <- as.integer(a[3])
wls <- if (length(a) > 3) strsplit(a[4], ",")[[1]] else c("w1", "w2", "w3", "w4")
setDTthreads(thr)
OUT <- Sys.getenv("PEERS_RESULTS", "/tmp/peers/results"); peer <- sprintf("data.table-t%d", thr)
t0 <- proc.time()[["elapsed"]]
dt <- fread(sprintf("%s/data_%s.csv", Sys.getenv("PEERS_DATA", "/tmp/peers/data"), lab))   # ints -> integer, income -> double with NA
load_s <- proc.time()[["elapsed"]] - t0
D1 <- c("region", "product", "year")

colpct <- function(r, val, out) {     # cell / (same product & year, region = Total) ; 0 = Total in keys
  setnafill(r, fill = 0L, cols = D1)
  den <- r[region == 0L, c("product", "year", val), with = FALSE]; setnames(den, val, "den")
  r[den, (out) := 100 * get(val) / i.den, on = .(product, year)]
  setorderv(r, D1)[]
}
w1 <- function(dt) {
  r <- cube(dt, j = list(count = .N, mean_income = mean(income, na.rm = TRUE),
                         sum_income = sum(income, na.rm = TRUE)), by = D1)
  colpct(r, "count", "colpct")
}
w2 <- function(dt) {
  dt[, `:=`(wi = weight * income, wv = fifelse(is.na(income), 0, weight))]
  r <- cube(dt, j = list(wcount = sum(weight), wsum_income = sum(wi, na.rm = TRUE), wv = sum(wv)), by = D1)
  dt[, c("wi", "wv") := NULL]
  r[, wmean_income := wsum_income / wv][, wv := NULL]
  colpct(r, "wcount", "wcolpct")[, c(D1, "wcount", "wmean_income", "wsum_income", "wcolpct"), with = FALSE]
}
w3 <- function(dt) {
  r <- cube(dt, j = {q <- quantile(income, c(.25, .5, .75), na.rm = TRUE, names = FALSE, type = 7)
                     list(p25 = q[1], median = q[2], p75 = q[3])}, by = c("region", "gender"))
  setnafill(r, fill = 0L, cols = c("region", "gender")); setorder(r, region, gender)[]
}
w4 <- function(dt) {
  long <- melt(dt[, .(id = .I, gender, q1, q2, q3, q4, q5)], id.vars = c("id", "gender"),
               value.name = "cat", na.rm = TRUE)
  r <- cube(long, j = list(cases = uniqueN(id), responses = .N), by = c("cat", "gender"))
  setnafill(r, fill = 0L, cols = c("cat", "gender")); setorder(r, cat, gender)[]
}
FUN <- list(w1 = w1, w2 = w2, w3 = w3, w4 = w4)
js <- function(w, ts) sprintf('{"peer": "%s", "n": "%s", "workload": "%s", "times": [%s]}', peer, lab, w,
                              paste(sprintf("%.6f", ts), collapse = ", "))
cat(js("load", load_s), "\n", file = file.path(OUT, "timings.jsonl"), append = TRUE, sep = "")
for (w in wls) {
  r <- FUN[[w]](dt)                                  # warm-up; saved for cross-check
  fwrite(r, file.path(OUT, sprintf("%s_%s_%s.csv", peer, w, lab)))   # fwrite writes doubles at full (round-trip) precision
  ts <- numeric(reps)
  for (i in seq_len(reps)) {
    invisible(gc())
    t <- proc.time()[["elapsed"]]; r <- FUN[[w]](dt); ts[i] <- proc.time()[["elapsed"]] - t
  }
  cat(js(w, ts), "\n")
  cat(js(w, ts), "\n", file = file.path(OUT, "timings.jsonl"), append = TRUE, sep = "")
}
