// DuckDB peer (@duckdb/node-api). usage: node peer_duckdb.js N_LABEL REPS THREADS [workloads]
// Run with NODE_PATH pointing at the node_modules that hold the package. Timing = query execution + reading the (small) result into JS.
const { DuckDBInstance } = require('@duckdb/node-api');
const fs = require('fs');
const [lab, repsS, thrS, wlS] = process.argv.slice(2);
const reps = +repsS, threads = +thrS;
const wls = wlS ? wlS.split(',') : ['w1', 'w2', 'w3', 'w4'];
const OUT = process.env.PEERS_RESULTS || '/tmp/peers/results';
const DATA = process.env.PEERS_DATA || '/tmp/peers/data';
const peer = `duckdb-t${threads}`;

const SQL = {
  w1: `WITH c AS (
         SELECT region, product, year, grouping(region) AS gr, grouping(product) AS gp, grouping(year) AS gy,
                count(*) AS cnt, avg(income) AS mean_income, sum(income) AS sum_income
         FROM t GROUP BY CUBE (region, product, year))
       SELECT coalesce(region,0) AS region, coalesce(product,0) AS product, coalesce(year,0) AS year,
              cnt AS count, mean_income, sum_income,
              100.0 * cnt / max(CASE WHEN gr = 1 THEN cnt END) OVER (PARTITION BY product, year, gp, gy) AS colpct
       FROM c ORDER BY 1,2,3`,
  w2: `WITH c AS (
         SELECT region, product, year, grouping(region) AS gr, grouping(product) AS gp, grouping(year) AS gy,
                sum(weight) AS wcount, sum(weight * income) AS wsum_income,
                sum(weight * income) / sum(CASE WHEN income IS NOT NULL THEN weight END) AS wmean_income
         FROM t GROUP BY CUBE (region, product, year))
       SELECT coalesce(region,0) AS region, coalesce(product,0) AS product, coalesce(year,0) AS year,
              wcount, wmean_income, wsum_income,
              100.0 * wcount / max(CASE WHEN gr = 1 THEN wcount END) OVER (PARTITION BY product, year, gp, gy) AS wcolpct
       FROM c ORDER BY 1,2,3`,
  w3: `WITH c AS (SELECT region, gender, quantile_cont(income, [0.25, 0.5, 0.75]) AS q
                  FROM t GROUP BY CUBE (region, gender))
       SELECT coalesce(region,0) AS region, coalesce(gender,0) AS gender, q[1] AS p25, q[2] AS median, q[3] AS p75
       FROM c ORDER BY 1,2`,
  w4: `WITH long AS (SELECT rowid AS id, gender, unnest([q1, q2, q3, q4, q5]) AS cat FROM t)
       SELECT coalesce(cat,0) AS cat, coalesce(gender,0) AS gender,
              count(DISTINCT id) AS cases, count(*) AS responses
       FROM long WHERE cat IS NOT NULL GROUP BY CUBE (cat, gender) ORDER BY 1,2`,
  // variant: per-case de-duplication with list_distinct (drops NULLs) instead of count(DISTINCT id)
  w4b: `WITH per AS (SELECT gender, [q1, q2, q3, q4, q5] AS l, list_distinct([q1, q2, q3, q4, q5]) AS d FROM t),
       c AS (SELECT cat, gender, count(*) AS cases FROM (SELECT gender, unnest(d) AS cat FROM per)
             GROUP BY GROUPING SETS ((cat, gender), (cat))),
       a AS (SELECT NULL::INTEGER AS cat, gender, count(*) AS cases FROM per WHERE len(d) > 0 GROUP BY ROLLUP (gender)),
       r AS (SELECT cat, gender, count(*) AS responses FROM (SELECT gender, unnest(l) AS cat FROM per)
             WHERE cat IS NOT NULL GROUP BY CUBE (cat, gender))
       SELECT coalesce(r.cat,0) AS cat, coalesce(r.gender,0) AS gender, x.cases, r.responses
       FROM r JOIN (SELECT * FROM c UNION ALL SELECT * FROM a) x
         ON r.cat IS NOT DISTINCT FROM x.cat AND r.gender IS NOT DISTINCT FROM x.gender ORDER BY 1,2`,
};

(async () => {
  const inst = await DuckDBInstance.create(':memory:', { threads: String(threads) });
  const con = await inst.connect();
  let t = process.hrtime.bigint();
  await con.run(`CREATE TABLE t AS SELECT * FROM read_csv('${DATA}/data_${lab}.csv', header = true,
     columns = {region:'INTEGER', product:'INTEGER', year:'INTEGER', gender:'INTEGER', income:'DOUBLE', weight:'DOUBLE',
                q1:'INTEGER', q2:'INTEGER', q3:'INTEGER', q4:'INTEGER', q5:'INTEGER'})`);
  const load = Number(process.hrtime.bigint() - t) / 1e9;
  fs.appendFileSync(`${OUT}/timings.jsonl`, JSON.stringify({ peer, n: lab, workload: 'load', times: [load] }) + '\n');
  for (const w of wls) {
    const r0 = await con.runAndReadAll(SQL[w]);           // warm-up, untimed; result saved for the cross-check
    const cols = r0.columnNames();
    const lines = [cols.join(',')].concat(r0.getRows().map(r => r.map(v => typeof v === 'bigint' ? v.toString() :
                     (typeof v === 'number' ? (Number.isInteger(v) ? String(v) : v.toPrecision(17)) : String(v))).join(',')));
    fs.writeFileSync(`${OUT}/${peer}_${w}_${lab}.csv`, lines.join('\n') + '\n');
    const ts = [];
    for (let i = 0; i < reps; i++) {
      t = process.hrtime.bigint();
      const r = await con.runAndReadAll(SQL[w]); r.getRows();
      ts.push(Number(process.hrtime.bigint() - t) / 1e9);
    }
    const rec = { peer, n: lab, workload: w, times: ts };
    console.log(JSON.stringify(rec));
    fs.appendFileSync(`${OUT}/timings.jsonl`, JSON.stringify(rec) + '\n');
  }
})().catch(e => { console.error(e); process.exit(1); });
