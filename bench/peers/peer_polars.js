// nodejs-polars peer. usage: NODE_PATH=.../node_modules node peer_polars.js N_LABEL REPS [workloads]
// One lazy query per workload (grouping sets = one group_by each, concatenated), collected; polars uses all cores.
const pl = require('nodejs-polars');
const fs = require('fs');
const [lab, repsS, wlS] = process.argv.slice(2);
const reps = +repsS;
const wls = wlS ? wlS.split(',') : ['w1', 'w2', 'w3', 'w4'];
const OUT = process.env.PEERS_RESULTS || '/tmp/peers/results', peer = 'polars';
const DATA = process.env.PEERS_DATA || '/tmp/peers/data';

function subsets(dims) {      // all subsets, largest first (CUBE)
  const out = [];
  for (let m = (1 << dims.length) - 1; m >= 0; m--) out.push(dims.filter((_, i) => m & (1 << (dims.length - 1 - i))));
  return out.sort((a, b) => b.length - a.length);
}
function cube(lf, dims, aggs) {
  const parts = subsets(dims).map(s => {
    const g = s.length ? lf.groupBy(s, false).agg(...aggs()) : lf.select(...aggs());
    return g.select(...dims.map(d => s.includes(d) ? pl.col(d).cast(pl.Int64) : pl.lit(0).cast(pl.Int64).alias(d)),
                    s.length ? pl.all().exclude(s) : pl.all());
  });
  return pl.concat(parts, { how: 'vertical' });
}
const D1 = ['region', 'product', 'year'];
function colpct(lf, val, out) {    // cell / (same product & year, region = Total)
  const den = lf.filter(pl.col('region').eq(0)).select('product', 'year', pl.col(val).alias('_den'));
  return lf.join(den, { on: ['product', 'year'] })
           .withColumns(pl.lit(100).mul(pl.col(val)).div(pl.col('_den')).alias(out)).drop('_den');
}
const Q = {
  w1: df => colpct(cube(df.lazy(), D1, () => [pl.len().alias('count'), pl.col('income').mean().alias('mean_income'),
                                              pl.col('income').sum().alias('sum_income')]), 'count', 'colpct')
            .sort(D1).collectSync(),
  w2: df => {
    const lf = df.lazy().withColumns(pl.col('weight').mul(pl.col('income')).alias('wi'),
                 pl.when(pl.col('income').isNull()).then(pl.lit(0)).otherwise(pl.col('weight')).alias('wv'));
    return colpct(cube(lf, D1, () => [pl.col('weight').sum().alias('wcount'), pl.col('wi').sum().alias('wsum_income'),
                                      pl.col('wv').sum().alias('wv')]), 'wcount', 'wcolpct')
           .withColumns(pl.col('wsum_income').div(pl.col('wv')).alias('wmean_income'))
           .select(...D1, 'wcount', 'wmean_income', 'wsum_income', 'wcolpct').sort(D1).collectSync();
  },
  w3: df => cube(df.lazy(), ['region', 'gender'], () => [
              pl.col('income').quantile(0.25, 'linear').alias('p25'), pl.col('income').quantile(0.5, 'linear').alias('median'),
              pl.col('income').quantile(0.75, 'linear').alias('p75')]).sort(['region', 'gender']).collectSync(),
  w4: df => {
    const long = df.withRowIndex('id').lazy().select('id', 'gender', 'q1', 'q2', 'q3', 'q4', 'q5')
                   .unpivot(['id', 'gender'], ['q1', 'q2', 'q3', 'q4', 'q5'], { valueName: 'cat' })
                   .filter(pl.col('cat').isNotNull());
    return cube(long, ['cat', 'gender'], () => [pl.col('id').nUnique().alias('cases'), pl.len().alias('responses')])
           .sort(['cat', 'gender']).collectSync();
  },
};
let t = process.hrtime.bigint();
const df = pl.readCSV(`${DATA}/data_${lab}.csv`).rechunk();
const load = Number(process.hrtime.bigint() - t) / 1e9;
fs.appendFileSync(`${OUT}/timings.jsonl`, JSON.stringify({ peer, n: lab, workload: 'load', times: [load] }) + '\n');
for (const w of wls) {
  const r0 = Q[w](df);                                   // warm-up, untimed; saved for cross-check
  r0.writeCSV(`${OUT}/${peer}_${w}_${lab}.csv`);
  const ts = [];
  for (let i = 0; i < reps; i++) {
    t = process.hrtime.bigint(); Q[w](df); ts.push(Number(process.hrtime.bigint() - t) / 1e9);
  }
  const rec = { peer, n: lab, workload: w, times: ts };
  console.log(JSON.stringify(rec));
  fs.appendFileSync(`${OUT}/timings.jsonl`, JSON.stringify(rec) + '\n');
}
