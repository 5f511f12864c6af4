(* The error-free transformations of src/math/double_double.hpp are exact: each is an instance of
   a theorem of Flocq, stated here for binary64 (53 bits, least exponent -1074, rounding to
   nearest with ties to even) with the operations in the order the code performs them. Flocq's
   format has no largest exponent: like the comments in the code, this assumes no overflow.

   coqc proofs/exact_transformations.v *)
From Coq Require Import Reals ZArith Psatz.
From Flocq Require Import Core Mult_error Pff2Flocq.
Open Scope R_scope.

Notation double := (generic_format radix2 (FLT_exp (-1074) 53)).
Notation rn := (round radix2 (FLT_exp (-1074) 53) ZnearestE).

Lemma ties_to_even_symmetric :
  forall z, negb (Z.even z) = negb (negb (Z.even (- (z + 1)))).
Proof.
  intro z. rewrite Z.even_opp, Z.even_add. destruct (Z.even z); reflexivity.
Qed.

Lemma rn_opp : forall x, rn (- x) = - rn x.
Proof. intro x. apply round_NE_opp. Qed.

Lemma rn_double : forall x, double x -> rn x = x.
Proof. intros x H. apply round_generic; auto with typeclass_instances. Qed.

(* two_sum(a, b): s = a + b; b_part = s - a; e = (a - (s - b_part)) + (b - b_part). *)
Theorem two_sum_exact :
  forall a b, double a -> double b ->
  let s := rn (a + b) in
  let b_part := rn (s - a) in
  s + rn (rn (a - rn (s - b_part)) + rn (b - b_part)) = a + b.
Proof.
  intros a b Ha Hb.
  exact (TwoSum_correct (-1074) 53 (fun z => negb (Z.even z)) ltac:(lia) ltac:(lia)
           ties_to_even_symmetric a b Ha Hb).
Qed.

(* fast_two_sum(a, b): s = a + b; e = b - (s - a), for |a| >= |b| or a = 0. *)
Theorem fast_two_sum_exact :
  forall a b, double a -> double b -> (Rabs b <= Rabs a \/ a = 0) ->
  let s := rn (a + b) in
  s + rn (b - rn (s - a)) = a + b.
Proof.
  intros a b Ha Hb [Hab | Ha0]; simpl.
  - pose proof (Fast2Sum_correct (-1074) 53 (fun z => negb (Z.even z)) ltac:(lia) ltac:(lia)
                  ties_to_even_symmetric a b Ha Hb Hab) as H.
    simpl in H.
    replace (rn (a + b) - a) with (- (a - rn (a + b))) by ring.
    rewrite rn_opp.
    replace (b - - rn (a - rn (a + b))) with (b + rn (a - rn (a + b))) by ring. exact H.
  - subst a. rewrite Rplus_0_l, Rminus_0_r, !(rn_double b Hb), Rminus_diag_eq by reflexivity.
    rewrite round_0 by auto with typeclass_instances. ring.
Qed.

(* two_prod(a, b) by splitting with 2^27 + 1: p = a b; t = C a; hi = t - (t - a); lo = a - hi
   (the same for b); e = ((a.hi b.hi - p) + a.hi b.lo + a.lo b.hi) + a.lo b.lo. Exact unless the
   product is below 2^-969 (far under any value the code multiplies). *)
Theorem two_prod_exact :
  forall a b, double a -> double b -> (a * b = 0 \/ bpow radix2 (-969) <= Rabs (a * b)) ->
  let split_hi x := rn (rn (134217729 * x) - rn (rn (134217729 * x) - x)) in
  let ah := split_hi a in let al := rn (a - ah) in
  let bh := split_hi b in let bl := rn (b - bh) in
  let p := rn (a * b) in
  p + rn (rn (rn (rn (rn (ah * bh) - p) + rn (ah * bl)) + rn (al * bh)) + rn (al * bl)) = a * b.
Proof.
  intros a b Ha Hb Hp.
  pose proof (Dekker radix2 (-1074) 53 (fun z => negb (Z.even z)) ltac:(lia) ltac:(lia)
                a b Ha Hb (or_introl eq_refl)) as [H _].
  specialize (H Hp).
  (* Flocq splits as q = RN(x - t), hi = RN(q + t) and sums from -p; the code from the other
     side: the same roundings, as rounding to nearest even is symmetric. *)
  assert (Split : forall x,
             rn (rn (x - rn (x * (bpow radix2 (53 - Z.div2 53) + 1)))
                 + rn (x * (bpow radix2 (53 - Z.div2 53) + 1)))
             = rn (rn (134217729 * x) - rn (rn (134217729 * x) - x))).
  { intro x. replace (x * (bpow radix2 (53 - Z.div2 53) + 1)) with (134217729 * x)
      by (simpl; lra).
    replace (x - rn (134217729 * x)) with (- (rn (134217729 * x) - x)) by ring.
    rewrite rn_opp. f_equal. ring. }
  rewrite !Split in H.
  cbv zeta. symmetry. rewrite H at 1. rewrite (Rplus_comm (- rn (a * b))). reflexivity.
Qed.

(* With a fused multiply-add, fma(a, b, -p) = a b - p exactly: the product's rounding error is a
   double itself. *)
Theorem fma_two_prod_exact :
  forall a b, double a -> double b -> (a * b = 0 \/ bpow radix2 (-969) <= Rabs (a * b)) ->
  rn (a * b - rn (a * b)) = a * b - rn (a * b).
Proof.
  intros a b Ha Hb Hp.
  apply rn_double.
  replace (a * b - rn (a * b)) with (- (rn (a * b) - a * b)) by ring.
  apply generic_format_opp.
  apply mult_error_FLT; auto with typeclass_instances; [easy |].
  intro Hnz. destruct Hp as [H0 | H]; [contradiction | exact H].
Qed.

(* dd_add(a, b) with a = 0 (a.hi = 0, so a.lo = 0 in a normalised pair: b.hi + b.lo rounds to
   b.hi) gives b back exactly: fast_two_sum(b.hi, 0) = (b.hi, 0); lo = 0 + (0 + b.lo);
   fast_two_sum(b.hi, b.lo). The relative error bound of dd_add is proven for a /= 0. *)
Theorem dd_add_of_zero :
  forall bh bl, double bh -> double bl -> rn (bh + bl) = bh ->
  let s := rn (bh + 0) in
  let e := rn (0 - rn (s - bh)) in
  let lo := rn (e + rn (0 + bl)) in
  let hi := rn (s + lo) in
  hi = bh /\ rn (lo - rn (hi - s)) = bl.
Proof.
  intros bh bl Hbh Hbl Hn. cbv zeta.
  assert (R0 : rn 0 = 0) by (apply round_0; auto with typeclass_instances).
  rewrite Rplus_0_r, (rn_double bh Hbh), (Rminus_diag_eq bh bh), R0 by reflexivity.
  rewrite Rminus_0_r, R0, !Rplus_0_l, !(rn_double bl Hbl), Hn.
  rewrite (Rminus_diag_eq bh bh), R0, Rminus_0_r by reflexivity.
  split; [reflexivity | apply rn_double, Hbl].
Qed.

(* dd_mul(a, b) with a = 0 (a.hi = a.lo = 0: the first step of a series summed in double-double
   from its last term, q = 0) gives 0, split as the code does without fused multiply-adds
   (two_prod, then p.lo += a.hi b.lo + a.lo b.hi, then fast_two_sum) and with them. *)
Theorem dd_mul_of_zero :
  forall bh bl, double bh -> double bl ->
  let split_hi x := rn (rn (134217729 * x) - rn (rn (134217729 * x) - x)) in
  let ah := split_hi 0 in let al := rn (0 - ah) in
  let sh := split_hi bh in let sl := rn (bh - sh) in
  let p := rn (0 * bh) in
  let e := rn (rn (rn (rn (rn (ah * sh) - p) + rn (ah * sl)) + rn (al * sh)) + rn (al * sl)) in
  let lo := rn (e + rn (rn (0 * bl) + rn (0 * bh))) in
  let lof := rn (0 * bh + rn (0 * bl + rn (0 * bh - p))) in
  rn (p + lo) = 0 /\ rn (lo - rn (rn (p + lo) - p)) = 0
  /\ rn (p + lof) = 0 /\ rn (lof - rn (rn (p + lof) - p)) = 0.
Proof.
  intros bh bl Hbh Hbl. cbv zeta.
  assert (R0 : rn 0 = 0) by (apply round_0; auto with typeclass_instances).
  repeat rewrite ?Rmult_0_l, ?Rmult_0_r, ?Rplus_0_l, ?Rplus_0_r, ?Rminus_0_r, ?Rminus_0_l,
    ?Ropp_0, ?R0.
  repeat split.
Qed.
