(* The phase accumulator's runs (src/wave/phase_run.hpp) rest on two facts, proven here for
   every binade [2^e, 2^(e+1)) of the normal range (the table's, 2^-23 to [4, 8), among them) and
   every increment x >= 0, in binary64 with rounding to nearest, ties to even. With s = 2^(e-52)
   the binade's spacing and d = x rounded to a multiple of s (ties to even):
   - the step is fixed: RN(p + x) = p + d for every double p of the binade with p + d still in
     it, where x is no tie or p is an even multiple of s (binade_step); the table's step
     RN(RN(2^e + x) - 2^e) is that d (table_step);
   - a binade entered from below holds one of two numbers of frames: its second phase lies in
     [2^e + d, 2^e + 2 d] (entry_range), from where the frames below a bound number m or m + 1,
     m the table's count from 2^e + d (frames_one_of_two). Where x is a tie every sum from the
     second phase on is an even multiple of s, so the first fact applies there too.
   The groups of whole turns rest on a third: a sum moved by a multiple of its binade's spacing,
   within the binade, rounds to its rounding moved by as much, where the multiple is even or the
   sum no tie (turn_shift). The runs of a falling phase on a fourth: where its sums lie in
   [8, 16), the phase falls by one fixed step from its third frame there on (falling_settles,
   falling_class). The runs of a growing phase, where every frame wraps, on a fifth: from a
   phase p of the binade, RN(RN(p + x) - TWO_PI) = p + d - t, t the multiple of s nearest TWO_PI,
   wherever neither x nor TWO_PI is a tie on that grid, p + d stays in the binade and the wrapped
   phase is at least 2^e (growing_step), and so from every larger p' of the run (growing_run).

   coqc proofs/phase_steps.v *)
From Coq Require Import Reals ZArith Psatz.
From Flocq Require Import Core Sterbenz.
Open Scope R_scope.

Notation double := (generic_format radix2 (FLT_exp (-1074) 53)).
Notation rn := (round radix2 (FLT_exp (-1074) 53) ZnearestE).
Local Instance binary64_precision : Prec_gt_0 53 := eq_refl.

(* Rounding a + y to the nearest integer, ties to even, adds a to the rounding of y: always
   where a is even, and where y is no tie for any a. *)
Lemma nearest_shift :
  forall a y, (Z.even a = true \/ y - IZR (Zfloor y) <> / 2) ->
  ZnearestE (IZR a + y) = (a + ZnearestE y)%Z.
Proof.
  intros a y Ha.
  assert (Hf : Zfloor (IZR a + y) = (a + Zfloor y)%Z).
  { apply Zfloor_imp. rewrite !plus_IZR.
    pose proof (Zfloor_lb y). pose proof (Zfloor_ub y). lra. }
  assert (Hc : Zceil (IZR a + y) = (a + Zceil y)%Z).
  { apply Zceil_imp. rewrite minus_IZR, !plus_IZR.
    pose proof (Zceil_lb y). pose proof (Zceil_ub y). lra. }
  unfold Znearest. rewrite Hf, Hc.
  replace (IZR a + y - IZR (a + Zfloor y)) with (y - IZR (Zfloor y)) by (rewrite plus_IZR; ring).
  case Rcompare_spec; intro H; try reflexivity.
  destruct Ha as [Ha | Ha]; [| contradiction].
  rewrite Z.even_add, Ha. destruct (Z.even (Zfloor y)); reflexivity.
Qed.

(* The step is never negative: x >= 0 rounds to a non-negative multiple of s. *)
Lemma step_nonnegative :
  forall s x, 0 < s -> 0 <= x -> 0 <= IZR (ZnearestE (x / s)) * s.
Proof.
  intros s x Hs Hx. apply Rmult_le_pos; [| lra]. apply IZR_le.
  apply Z.le_trans with (Zfloor (x / s)); [| apply Znearest_ge_floor].
  apply Zfloor_lub. unfold Rdiv. apply Rmult_le_pos; [lra |].
  apply Rlt_le, Rinv_0_lt_compat, Hs.
Qed.

(* A double of binade e is a multiple of the binade's spacing s = 2^(e-52). *)
Lemma binade_grid :
  forall e p, (-1022 <= e)%Z -> double p -> bpow radix2 e <= p < bpow radix2 (e + 1) ->
  p = IZR (Ztrunc (scaled_mantissa radix2 (FLT_exp (-1074) 53) p)) * bpow radix2 (e - 52).
Proof.
  intros e p He Hp Hin.
  assert (Hfexp : FLT_exp (-1074) 53 (e + 1) = (e - 52)%Z) by (unfold FLT_exp; lia).
  assert (Hcp : cexp radix2 (FLT_exp (-1074) 53) p = (e - 52)%Z).
  { rewrite <- Hfexp. apply cexp_fexp_pos. replace (e + 1 - 1)%Z with e by ring. lra. }
  rewrite Hp at 1. unfold F2R. simpl. rewrite Hcp. reflexivity.
Qed.

Theorem binade_step :
  forall e p x, (-1022 <= e)%Z -> double p -> bpow radix2 e <= p -> 0 <= x ->
  let s := bpow radix2 (e - 52) in
  let d := IZR (ZnearestE (x / s)) * s in
  ((exists a, p = IZR a * s /\ Z.even a = true) \/ x / s - IZR (Zfloor (x / s)) <> / 2) ->
  p + d < bpow radix2 (e + 1) ->
  rn (p + x) = p + d.
Proof.
  intros e p x He Hp Hpe Hx s d Hcase Hin.
  assert (Hs : 0 < s) by apply bpow_gt_0.
  assert (Hd : 0 <= d) by (apply step_nonnegative; assumption).
  set (n := ZnearestE (x / s)) in *.
  assert (Hn : (0 <= n)%Z).
  { apply le_IZR. apply Rmult_le_reg_r with s; [exact Hs |]. rewrite Rmult_0_l. exact Hd. }
  assert (Hfexp : FLT_exp (-1074) 53 (e + 1) = (e - 52)%Z) by (unfold FLT_exp; lia).
  set (m := Ztrunc (scaled_mantissa radix2 (FLT_exp (-1074) 53) p)).
  assert (Hm : p = IZR m * s) by (apply binade_grid; [exact He | exact Hp | lra]).
  (* p + d is a multiple of s below 2^(e+1) = 2^53 s, so at most 2^(e+1) - s. *)
  assert (Htop : bpow radix2 (e + 1) = IZR (Zpower radix2 53) * s).
  { unfold s. rewrite IZR_Zpower by lia. rewrite <- bpow_plus. f_equal. lia. }
  assert (Hmn : (m + n < Zpower radix2 53)%Z).
  { apply lt_IZR. apply Rmult_lt_reg_r with s; [exact Hs |].
    rewrite plus_IZR, Rmult_plus_distr_r, <- Hm, <- Htop. exact Hin. }
  assert (Hbelow : p + d <= bpow radix2 (e + 1) - s).
  { rewrite Htop, Hm. unfold d.
    replace (IZR m * s + IZR n * s) with (IZR (m + n) * s) by (rewrite plus_IZR; ring).
    replace (IZR (Zpower radix2 53) * s - s) with (IZR (Zpower radix2 53 - 1) * s)
      by (rewrite minus_IZR; ring).
    apply Rmult_le_compat_r; [lra | apply IZR_le; lia]. }
  (* x lies within s / 2 of d: p + x stays in the binade, where the spacing is s. *)
  assert (Hx_le : x <= d + s / 2).
  { unfold d. pose proof (Znearest_half (fun z => negb (Z.even z)) (x / s)) as H.
    fold n in H. apply Rabs_le_inv in H. destruct H as [H1 H2].
    apply Rmult_le_compat_r with (r := s) in H2; [| lra].
    unfold Rdiv in H2. rewrite Rmult_minus_distr_r, Rmult_assoc, Rinv_l in H2 by lra. lra. }
  assert (Hc : cexp radix2 (FLT_exp (-1074) 53) (p + x) = (e - 52)%Z).
  { rewrite <- Hfexp. apply cexp_fexp_pos. replace (e + 1 - 1)%Z with e by ring. lra. }
  unfold round. rewrite Hc. unfold scaled_mantissa. rewrite Hc.
  replace ((p + x) * bpow radix2 (- (e - 52))) with (IZR m + x / s).
  2: { rewrite Hm. unfold s. rewrite bpow_opp. field. apply Rgt_not_eq, bpow_gt_0. }
  rewrite nearest_shift.
  - unfold F2R. simpl. rewrite plus_IZR, Hm. unfold d. fold s. fold n. ring.
  - destruct Hcase as [[a [Ha Heven]] | Htie]; [left | right; exact Htie].
    assert (IZR a = IZR m) by (apply Rmult_eq_reg_r with s; [lra | lra]).
    apply eq_IZR in H. subst a. exact Heven.
Qed.

(* The table's step, (2^e + x) - 2^e: 2^e is an even multiple of s, so the step is d, and
   every phase p of the binade that is an even multiple (all of them where x is no tie) adds
   it, while p + d stays in the binade. *)
Theorem table_step :
  forall e x, (-1022 <= e)%Z -> 0 <= x ->
  let s := bpow radix2 (e - 52) in
  let d := IZR (ZnearestE (x / s)) * s in
  bpow radix2 e + d < bpow radix2 (e + 1) ->
  rn (rn (bpow radix2 e + x) - bpow radix2 e) = d.
Proof.
  intros e x He Hx s d Hin.
  assert (Hlow : double (bpow radix2 e))
    by (apply generic_format_bpow; unfold FLT_exp; lia).
  assert (Hsum : rn (bpow radix2 e + x) = bpow radix2 e + d).
  { apply binade_step; [lia | exact Hlow | lra | lra | | exact Hin].
    left. exists (Zpower radix2 52). split; [| reflexivity].
    unfold s. rewrite IZR_Zpower by lia. rewrite <- bpow_plus. f_equal. lia. }
  rewrite Hsum. replace (bpow radix2 e + d - bpow radix2 e) with d by ring.
  (* d = (2^e + d) - 2^e, a difference within a factor two: exact. *)
  apply round_generic; [auto with typeclass_instances |].
  replace d with (rn (bpow radix2 e + x) - bpow radix2 e) by (rewrite Hsum; ring).
  assert (Hd : 0 <= d) by (apply step_nonnegative; [apply bpow_gt_0 | exact Hx]).
  assert (Hf : double (rn (bpow radix2 e + x)))
    by apply (generic_format_round radix2 (FLT_exp (-1074) 53) ZnearestE).
  apply sterbenz; auto with typeclass_instances.
  rewrite Hsum. rewrite bpow_plus in Hin. simpl in Hin. split; lra.
Qed.

(* A binade's frames from next, its second phase, when next lies within a step above L, the
   second phase from 2^e: m the most j with L + j step < B (the table's), next + j step < B for
   every j < m, never for j > m, and for j = m by one comparison. *)
Theorem frames_one_of_two :
  forall L step B next m, 0 < step -> L <= next <= L + step ->
  L + IZR m * step < B -> B <= L + IZR (m + 1) * step ->
  next + IZR (m - 1) * step < B /\ B <= next + IZR (m + 1) * step.
Proof.
  intros L step B next m Hstep Hnext Hm Hm1.
  rewrite minus_IZR. rewrite plus_IZR in Hm1 |- *. split; nra.
Qed.

(* Rounding a tie to even gives an even integer. *)
Lemma nearest_tie_even :
  forall y, y - IZR (Zfloor y) = / 2 -> Z.even (ZnearestE y) = true.
Proof.
  intros y Hy. unfold Znearest. rewrite Hy, Rcompare_Eq by reflexivity.
  destruct (Z.even (Zfloor y)) eqn:E; simpl.
  - exact E.
  - rewrite Zceil_floor_neq by lra. rewrite Z.even_add, E. reflexivity.
Qed.

(* Entered from below, at q in [2^e, 2^e + d] (q = RN(p + x) for some p < 2^e), the binade's
   second phase lies in [2^e + d, 2^e + 2 d], where frames_one_of_two takes it. *)
Theorem entry_range :
  forall e q x, (-1022 <= e)%Z -> 0 <= x ->
  let s := bpow radix2 (e - 52) in
  let d := IZR (ZnearestE (x / s)) * s in
  bpow radix2 e <= q <= bpow radix2 e + d ->
  bpow radix2 e + 2 * d < bpow radix2 (e + 1) ->
  bpow radix2 e + d <= rn (q + x) <= bpow radix2 e + 2 * d.
Proof.
  intros e q x He Hx s d Hq Hin.
  assert (Hs : 0 < s) by apply bpow_gt_0.
  assert (Hd : 0 <= d) by (apply step_nonnegative; assumption).
  assert (Hlow : double (bpow radix2 e))
    by (apply generic_format_bpow; unfold FLT_exp; lia).
  assert (Hbottom : bpow radix2 e = IZR (Zpower radix2 52) * s).
  { unfold s. rewrite IZR_Zpower by lia. rewrite <- bpow_plus. f_equal. lia. }
  assert (H1 : bpow radix2 e + d < bpow radix2 (e + 1)) by lra.
  assert (H2 : bpow radix2 e + d + d < bpow radix2 (e + 1)) by lra.
  assert (Hfirst : rn (bpow radix2 e + x) = bpow radix2 e + d).
  { apply binade_step; [lia | exact Hlow | lra | lra | | exact H1].
    left. exists (Zpower radix2 52). split; [exact Hbottom | reflexivity]. }
  assert (Hsecond : rn (bpow radix2 e + d + x) = bpow radix2 e + d + d).
  { apply binade_step; [lia | | lra | lra | | exact H2].
    - rewrite <- Hfirst. apply generic_format_round; auto with typeclass_instances.
    - destruct (Req_dec (x / s - IZR (Zfloor (x / s))) (/ 2)) as [Htie | Hnot];
        [left | right; exact Hnot].
      exists (Zpower radix2 52 + ZnearestE (x / s))%Z. split.
      + rewrite plus_IZR, Hbottom. unfold d. fold s. ring.
      + rewrite Z.even_add, (nearest_tie_even _ Htie). reflexivity. }
  split.
  - rewrite <- Hfirst. apply round_le; auto with typeclass_instances. lra.
  - replace (bpow radix2 e + 2 * d) with (bpow radix2 e + d + d) by ring.
    rewrite <- Hsecond. apply round_le; auto with typeclass_instances. lra.
Qed.

(* The turns' pieces (TurnTable): moving the phase a group starts from by k s, k >= 0 and s the
   spacing of a sum's binade, moves that sum, q = p + x, by k s too, and its rounding with it
   while q + k s stays in the binade, where k is even or q is no tie. The pieces move their
   starts by multiples of a step 2^j s with j >= 1 (all even multiples of s) or s itself (then
   no sum of the group may be a tie); each sum stays below its binade's top by construction. *)
Theorem turn_shift :
  forall e q k, (-1022 <= e)%Z -> (0 <= k)%Z -> bpow radix2 e <= q ->
  let s := bpow radix2 (e - 52) in
  q + IZR k * s < bpow radix2 (e + 1) ->
  (Z.even k = true \/ q / s - IZR (Zfloor (q / s)) <> / 2) ->
  rn (q + IZR k * s) = rn q + IZR k * s.
Proof.
  intros e q k He Hk Hq s Hin Hcase.
  assert (Hs : 0 < s) by apply bpow_gt_0.
  assert (Hks : 0 <= IZR k * s) by (apply Rmult_le_pos; [apply IZR_le; exact Hk | lra]).
  assert (Hfexp : FLT_exp (-1074) 53 (e + 1) = (e - 52)%Z) by (unfold FLT_exp; lia).
  assert (Hc0 : cexp radix2 (FLT_exp (-1074) 53) q = (e - 52)%Z).
  { rewrite <- Hfexp. apply cexp_fexp_pos. replace (e + 1 - 1)%Z with e by ring. lra. }
  assert (Hc1 : cexp radix2 (FLT_exp (-1074) 53) (q + IZR k * s) = (e - 52)%Z).
  { rewrite <- Hfexp. apply cexp_fexp_pos. replace (e + 1 - 1)%Z with e by ring. lra. }
  assert (Hy : q * bpow radix2 (- (e - 52)) = q / s).
  { unfold s. rewrite bpow_opp. reflexivity. }
  unfold round. rewrite Hc0, Hc1. unfold scaled_mantissa. rewrite Hc0, Hc1.
  replace ((q + IZR k * s) * bpow radix2 (- (e - 52))) with (IZR k + q / s).
  2: { unfold s. rewrite bpow_opp. field. apply Rgt_not_eq, bpow_gt_0. }
  rewrite Hy, nearest_shift by exact Hcase.
  unfold F2R. simpl. rewrite plus_IZR. fold s. ring.
Qed.

(* A falling phase (src/wave/phase_run.cpp, falling_runs): in units of u = 2^-50 the increment
   and the phases after a wrap are integers, and a sum a u in [8, 16) rounds to 2^-49 ZnearestE
   (a / 2) (falling_rounding). With D the increment less TWO_PI in units, each frame there takes
   a to r(a) + D, r(a) = 2 ZnearestE(a / 2): r(a) - a depends only on a modulo 4 (rounding_step),
   and from the second frame on (the first where D is even) every sum lies in one class modulo
   4 that the frames keep (falling_class), so the phase falls by the same step each frame. *)
Definition rounded_half (a : Z) := (2 * ZnearestE (IZR a / 2))%Z.

Lemma falling_rounding :
  forall a, 8 <= IZR a * bpow radix2 (-50) < 16 ->
  rn (IZR a * bpow radix2 (-50)) = IZR (rounded_half a) * bpow radix2 (-50).
Proof.
  intros a Ha.
  assert (Hc : cexp radix2 (FLT_exp (-1074) 53) (IZR a * bpow radix2 (-50)) = (-49)%Z).
  { replace (-49)%Z with (FLT_exp (-1074) 53 4) by reflexivity.
    apply cexp_fexp_pos.
    replace (4 - 1)%Z with 3%Z by reflexivity.
    assert (H8 : bpow radix2 3 = 8) by (simpl; lra).
    assert (H16 : bpow radix2 4 = 16) by (simpl; lra).
    rewrite H8, H16. lra. }
  unfold round. rewrite Hc. unfold scaled_mantissa. rewrite Hc.
  replace (IZR a * bpow radix2 (-50) * bpow radix2 (- (-49))) with (IZR a / 2).
  2: { rewrite Rmult_assoc, <- bpow_plus.
       replace (-50 + - (-49))%Z with (- 1)%Z by reflexivity.
       simpl. unfold Rdiv. f_equal. }
  unfold F2R, rounded_half. cbn [Fnum Fexp]. rewrite mult_IZR.
  assert (H : bpow radix2 (-49) = 2 * bpow radix2 (-50)).
  { replace (-49)%Z with (1 + -50)%Z by reflexivity. rewrite bpow_plus. simpl. lra. }
  rewrite H. ring.
Qed.

Lemma rounding_step :
  forall a b, (a mod 4 = b mod 4)%Z -> (rounded_half a - a = rounded_half b - b)%Z.
Proof.
  assert (H : forall a, (rounded_half a - a = rounded_half (a mod 4) - a mod 4)%Z).
  { intros a. unfold rounded_half.
    rewrite (Z_div_mod_eq_full a 4) at 1 2.
    set (m := (a / 4)%Z). set (c := (a mod 4)%Z).
    replace (IZR (4 * m + c) / 2) with (IZR (2 * m) + IZR c / 2)
      by (rewrite plus_IZR, !mult_IZR; field).
    rewrite nearest_shift by (left; rewrite Z.even_mul; reflexivity). lia. }
  intros a b Hab. rewrite (H a), (H b), Hab. reflexivity.
Qed.

Lemma rounded_half_split :
  forall a, rounded_half a = (4 * (a / 4) + rounded_half (a mod 4))%Z.
Proof.
  intros a. pose proof (rounding_step a (a mod 4)) as H.
  rewrite Z.mod_mod in H by lia. specialize (H eq_refl).
  pose proof (Z_div_mod_eq_full a 4). lia.
Qed.

(* A tie k + 1/2 goes to the even one of k and k + 1. *)
Lemma nearest_tie :
  forall k, ZnearestE (IZR k + / 2) = (if Z.even k then k else k + 1)%Z.
Proof.
  intros k. unfold Znearest.
  assert (Hf : Zfloor (IZR k + / 2) = k).
  { apply Zfloor_imp. rewrite plus_IZR. simpl. lra. }
  assert (Hc : Zceil (IZR k + / 2) = (k + 1)%Z).
  { apply Zceil_imp. replace (k + 1 - 1)%Z with k by ring. rewrite plus_IZR. simpl. lra. }
  rewrite Hf, Hc.
  replace (IZR k + / 2 - IZR k) with (/ 2) by ring.
  rewrite Rcompare_Eq by reflexivity. destruct (Z.even k); reflexivity.
Qed.

Lemma rounded_half_small :
  rounded_half 0 = 0%Z /\ rounded_half 1 = 0%Z /\ rounded_half 2 = 2%Z /\ rounded_half 3 = 4%Z.
Proof.
  unfold rounded_half. repeat split.
  - replace (IZR 0 / 2) with (IZR 0) by (simpl; field). rewrite (Zrnd_IZR ZnearestE). reflexivity.
  - replace (IZR 1 / 2) with (IZR 0 + / 2) by (simpl; field). rewrite nearest_tie. reflexivity.
  - replace (IZR 2 / 2) with (IZR 1) by (simpl; field). rewrite (Zrnd_IZR ZnearestE). reflexivity.
  - replace (IZR 3 / 2) with (IZR 1 + / 2) by (simpl; field). rewrite nearest_tie. reflexivity.
Qed.

(* Integer arithmetic with remainders by constants. *)
Ltac zlia := Z.to_euclidean_division_equations; lia.

Definition settled (D x : Z) :=
  if Z.even D then (x mod 2 = 0)%Z else (x mod 4 = D mod 4)%Z.
Definition settled_step (D : Z) :=
  if Z.even D then D else (rounded_half (D mod 4) - D mod 4 + D)%Z.

Lemma parity_cases :
  forall D, (Z.even D = true /\ exists d, D = 2 * d)%Z \/
            (Z.even D = false /\ exists d, D = 2 * d + 1)%Z.
Proof.
  intros D. destruct (Z.even D) eqn:E.
  - left. split; [reflexivity |]. apply Z.even_spec in E. destruct E as [d Hd]. exists d. exact Hd.
  - right. split; [reflexivity |].
    assert (Ho : Z.odd D = true) by (rewrite <- Z.negb_even, E; reflexivity).
    apply Z.odd_spec in Ho. destruct Ho as [d Hd]. exists d. exact Hd.
Qed.

(* Once settled, a frame keeps the phase settled and falls by the settled step. *)
Theorem falling_class :
  forall D x, settled D x ->
  settled D (rounded_half x + D) /\ (rounded_half x + D - x = settled_step D)%Z.
Proof.
  intros D x Hx. unfold settled, settled_step in *.
  destruct rounded_half_small as [H0 [H1 [H2 H3]]].
  rewrite (rounded_half_split x).
  pose proof (Z_div_mod_eq_full x 4) as Hdx. pose proof (Z.mod_pos_bound x 4 ltac:(lia)) as Hb.
  set (m := (x / 4)%Z) in *. set (c := (x mod 4)%Z) in *.
  destruct (parity_cases D) as [[ED [d Hd]] | [ED [d Hd]]]; rewrite ED in *;
    cbv iota in Hx |- *.
  - pose proof (Z_div_mod_eq_full x 2). pose proof (Z.mod_pos_bound x 2 ltac:(lia)).
    assert (c = 0 \/ c = 2)%Z as [E | E] by lia; rewrite E; [rewrite H0 | rewrite H2]; zlia.
  - assert (Hc : (c = D mod 4)%Z) by exact Hx.
    assert (D mod 4 = 1 \/ D mod 4 = 3)%Z as [E | E] by zlia; rewrite <- Hc, E in *;
      [rewrite H1 | rewrite H3]; zlia.
Qed.

(* Two frames in [8, 16) settle any phase; one where D is even. *)
Theorem falling_settles :
  forall D a, settled D (rounded_half (rounded_half a + D) + D) /\
              (Z.even D = true -> settled D (rounded_half a + D)).
Proof.
  intros D a.
  destruct rounded_half_small as [H0 [H1 [H2 H3]]].
  assert (Hfirst : forall x, exists k, (rounded_half x = 2 * k)%Z /\
                   ((x mod 2 = 1)%Z -> (rounded_half x) mod 4 = 0)%Z).
  { intros x. rewrite (rounded_half_split x).
    pose proof (Z_div_mod_eq_full x 4). pose proof (Z.mod_pos_bound x 4 ltac:(lia)).
    set (c := (x mod 4)%Z) in *.
    assert (c = 0 \/ c = 1 \/ c = 2 \/ c = 3)%Z as [E | [E | [E | E]]] by lia; rewrite E.
    - rewrite H0. exists (2 * (x / 4))%Z. split; zlia.
    - rewrite H1. exists (2 * (x / 4))%Z. split; zlia.
    - rewrite H2. exists (2 * (x / 4) + 1)%Z. split; zlia.
    - rewrite H3. exists (2 * (x / 4) + 2)%Z. split; zlia. }
  unfold settled.
  destruct (parity_cases D) as [[ED [d Hd]] | [ED [d Hd]]]; rewrite ED; cbv iota.
  - destruct (Hfirst a) as [k [Hk _]].
    destruct (Hfirst (rounded_half a + D)%Z) as [k2 [Hk2 _]]. split; intros; zlia.
  - split; [| discriminate].
    destruct (Hfirst a) as [k [Hk _]].
    destruct (Hfirst (rounded_half a + D)%Z) as [k2 [Hk2 Hodd]].
    assert (Hm : ((rounded_half a + D) mod 2 = 1)%Z) by zlia.
    specialize (Hodd Hm). zlia.
Qed.

(* A rounding that is no tie lies strictly within half a unit. *)
Lemma no_tie_strict :
  forall y, y - IZR (Zfloor y) <> / 2 -> Rabs (y - IZR (ZnearestE y)) < / 2.
Proof.
  intros y Hy.
  pose proof (Znearest_half (fun z => negb (Z.even z)) y) as H.
  set (n := ZnearestE y) in *.
  destruct (Rle_lt_or_eq_dec _ _ H) as [Hlt | Heq]; [exact Hlt | exfalso].
  destruct (Rcase_abs (y - IZR n)) as [Hn | Hp].
  - rewrite Rabs_left in Heq by exact Hn.
    assert (Hf : Zfloor y = (n - 1)%Z).
    { apply Zfloor_imp. rewrite minus_IZR. replace (n - 1 + 1)%Z with n by ring. lra. }
    apply Hy. rewrite Hf, minus_IZR. lra.
  - rewrite Rabs_right in Heq by exact Hp.
    assert (Hf : Zfloor y = n).
    { apply Zfloor_imp. rewrite plus_IZR. lra. }
    apply Hy. rewrite Hf. lra.
Qed.

(* A growing phase's wrap (run_from's second kind), from q = m s, a multiple of the binade's
   spacing below 2^(e+1): subtracting T = TWO_PI rounds to q - t wherever T is no tie on the grid
   of s and the result is at least 2^e. Just below 2^e the difference rounds up to 2^e, which is
   then q - t too. run_from refuses a tie of the difference in the binade; one below 2^e would
   round below it, which run_from refuses as well. *)
Lemma wrap_shift :
  forall e m T, (-1022 <= e)%Z -> 0 <= T ->
  let s := bpow radix2 (e - 52) in
  let t := IZR (ZnearestE (T / s)) * s in
  T / s - IZR (Zfloor (T / s)) <> / 2 ->
  IZR m * s < bpow radix2 (e + 1) ->
  bpow radix2 e <= rn (IZR m * s - T) ->
  rn (IZR m * s - T) = IZR m * s - t.
Proof.
  intros e m T He HT s t Htie Hq Hr.
  assert (Hs : 0 < s) by apply bpow_gt_0.
  pose proof (no_tie_strict (T / s) Htie) as Hnear.
  set (n := ZnearestE (T / s)) in *.
  assert (Hfexp : FLT_exp (-1074) 53 (e + 1) = (e - 52)%Z) by (unfold FLT_exp; lia).
  assert (HTs : T = T / s * s) by (field; lra).
  apply Rabs_def2 in Hnear. destruct Hnear as [Hn1 Hn2].
  assert (Hclose : IZR n * s - s / 2 < T < IZR n * s + s / 2) by (rewrite HTs; split; nra).
  destruct (Rle_or_lt (bpow radix2 e) (IZR m * s - T)) as [Hin | Hbelow].
  - assert (Hc : cexp radix2 (FLT_exp (-1074) 53) (IZR m * s - T) = (e - 52)%Z).
    { rewrite <- Hfexp. apply cexp_fexp_pos. replace (e + 1 - 1)%Z with e by ring. lra. }
    unfold round. rewrite Hc. unfold scaled_mantissa. rewrite Hc.
    replace ((IZR m * s - T) * bpow radix2 (- (e - 52))) with (IZR m - T / s).
    2: { unfold s. rewrite bpow_opp. field. apply Rgt_not_eq, bpow_gt_0. }
    rewrite (Znearest_imp _ _ (m - n)).
    + unfold F2R. simpl. rewrite minus_IZR. fold s. unfold t. ring.
    + rewrite minus_IZR. replace (IZR m - T / s - (IZR m - IZR n)) with (- (T / s - IZR n)) by ring.
      rewrite Rabs_Ropp. apply Rabs_def1; lra.
  - (* Just below 2^e, the difference rounds up to 2^e, which is then m s - t. *)
    assert (Hlow : double (bpow radix2 e))
      by (apply generic_format_bpow; unfold FLT_exp; lia).
    assert (Hup : rn (IZR m * s - T) <= bpow radix2 e).
    {
      rewrite <- (round_generic radix2 (FLT_exp (-1074) 53) ZnearestE (bpow radix2 e) Hlow).
      apply round_le; [auto with typeclass_instances | auto with typeclass_instances | lra]. }
    assert (Heq : rn (IZR m * s - T) = bpow radix2 e) by lra.
    assert (Hpos : 0 < IZR m * s - T).
    { destruct (Rle_or_lt (IZR m * s - T) 0) as [Hneg | Hp]; [exfalso | exact Hp].
      assert (rn (IZR m * s - T) <= rn 0)
        by (apply round_le; [auto with typeclass_instances | auto with typeclass_instances | lra]).
      rewrite round_0 in H; [| auto with typeclass_instances].
      pose proof (bpow_gt_0 radix2 e). lra. }
    assert (Hulp : ulp radix2 (FLT_exp (-1074) 53) (IZR m * s - T) <= s).
    { apply Rle_trans with (ulp radix2 (FLT_exp (-1074) 53) (bpow radix2 e)).
      - apply ulp_le_pos; auto with typeclass_instances; lra.
      - rewrite ulp_bpow, Hfexp. apply Rle_refl. }
    pose proof (error_le_half_ulp radix2 (FLT_exp (-1074) 53) (fun z => negb (Z.even z))
                  (IZR m * s - T)) as Herr.
    rewrite Heq in Herr. apply Rabs_le_inv in Herr.
    assert (Htop : bpow radix2 e = IZR (Zpower radix2 52) * s).
    { unfold s. rewrite IZR_Zpower by lia. rewrite <- bpow_plus. f_equal. lia. }
    assert (Hk : (m - n = Zpower radix2 52)%Z).
    { assert (Hlo : (Zpower radix2 52 - 1 < m - n)%Z).
      { apply lt_IZR. apply Rmult_lt_reg_r with s; [exact Hs |].
        rewrite !minus_IZR. rewrite Rmult_minus_distr_r. rewrite <- Htop. nra. }
      assert (Hhi : (m - n < Zpower radix2 52 + 1)%Z).
      { apply lt_IZR. apply Rmult_lt_reg_r with s; [exact Hs |].
        rewrite plus_IZR, minus_IZR. rewrite Rmult_plus_distr_r, Rmult_minus_distr_r.
        rewrite <- Htop. nra. }
      lia. }
    rewrite Heq, Htop. unfold t. fold n.
    replace (IZR m * s - IZR n * s) with (IZR (m - n) * s) by (rewrite minus_IZR; ring).
    rewrite Hk. reflexivity.
Qed.

(* A frame of a growing run: binade_step's sum, then wrap_shift's difference. *)
Theorem growing_step :
  forall e p x T, (-1022 <= e)%Z -> double p -> bpow radix2 e <= p -> 0 <= x -> 0 <= T ->
  let s := bpow radix2 (e - 52) in
  let d := IZR (ZnearestE (x / s)) * s in
  let t := IZR (ZnearestE (T / s)) * s in
  x / s - IZR (Zfloor (x / s)) <> / 2 -> T / s - IZR (Zfloor (T / s)) <> / 2 ->
  p + d < bpow radix2 (e + 1) ->
  bpow radix2 e <= rn (p + d - T) ->
  rn (rn (p + x) - T) = p + d - t.
Proof.
  intros e p x T He Hp Hpe Hx HT s d t Htie HtieT Hin Hwrap.
  assert (Hs : 0 < s) by apply bpow_gt_0.
  assert (Hd : 0 <= d) by (apply step_nonnegative; assumption).
  assert (Hsum : rn (p + x) = p + d).
  { apply binade_step; [exact He | exact Hp | exact Hpe | exact Hx | right; exact Htie |].
    exact Hin. }
  set (m := Ztrunc (scaled_mantissa radix2 (FLT_exp (-1074) 53) p)).
  assert (Hm : p = IZR m * s) by (apply binade_grid; [exact He | exact Hp | lra]).
  rewrite Hsum in *.
  replace (p + d) with (IZR (m + ZnearestE (x / s)) * s) in *
    by (rewrite plus_IZR, Hm; unfold d; fold s; ring).
  apply wrap_shift; [exact He | exact HT | exact HtieT | exact Hin | exact Hwrap].
Qed.

(* Each later frame of the run starts from a larger phase p' of the binade, whose difference
   rounds no lower: growing_step holds there too, with the same d - t. *)
Corollary growing_run :
  forall e p p' x T, (-1022 <= e)%Z -> double p' -> bpow radix2 e <= p <= p' -> 0 <= x ->
  0 <= T ->
  let s := bpow radix2 (e - 52) in
  let d := IZR (ZnearestE (x / s)) * s in
  let t := IZR (ZnearestE (T / s)) * s in
  x / s - IZR (Zfloor (x / s)) <> / 2 -> T / s - IZR (Zfloor (T / s)) <> / 2 ->
  p' + d < bpow radix2 (e + 1) ->
  bpow radix2 e <= rn (p + d - T) ->
  rn (rn (p' + x) - T) = p' + d - t.
Proof.
  intros e p p' x T He Hp' Hpp Hx HT s d t Htie HtieT Hin Hwrap.
  unfold t, d, s in *.
  apply growing_step; try assumption; [lra |].
  apply Rle_trans with (1 := Hwrap).
  apply round_le; auto with typeclass_instances; lra.
Qed.
